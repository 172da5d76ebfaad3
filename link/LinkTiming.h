#pragma once
// How long the recorder link pauses and waits. The program always uses the
// defaults, the recorders' own protocol times; tests that run the engine in
// their own process may shorten them so that a login or a silent recorder
// does not cost them seconds each.
#include "link/LinkCodec.h"

struct LINK_TIMING {
    unsigned nReplyPauseMs = LINK_REPLY_PAUSE_MS;      // inside the building of a login reply
    unsigned nRecvTimeoutMs = LINK_RECV_TIMEOUT_MS;    // silence that drops a connection
    unsigned nLoginTimeoutMs = LINK_LOGIN_TIMEOUT_MS;  // a connection not logged in by then is dropped
};
