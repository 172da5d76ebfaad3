#include "link/LinkDrop.h"

const char* LinkDropText(LINK_DROP eReason)
{
    switch (eReason) {
    case LINK_DROP::CLOSED_BY_PEER: return "closed by the peer";
    case LINK_DROP::RECEIVE_FAILED: return "receive failed (reset or aborted)";
    case LINK_DROP::SILENT: return "silent for 20 s";
    case LINK_DROP::NO_LOGIN: return "no login within 10 s";
    case LINK_DROP::WRONG_PASSWORD: return "wrong password";
    case LINK_DROP::JUNK: return "sent something that is no login";
    case LINK_DROP::SEND_FAILED: return "send failed";
    case LINK_DROP::STOPPED: break;
    }
    return "capture stopped";
}
