#pragma once
// Why the link let a connection go, for the program's log.
enum class LINK_DROP {
    CLOSED_BY_PEER,    // the peer closed the connection
    RECEIVE_FAILED,    // reset, aborted or another receive error
    SILENT,            // nothing came for LINK_RECV_TIMEOUT_MS
    NO_LOGIN,          // not logged in within LINK_LOGIN_TIMEOUT_MS
    WRONG_PASSWORD,    // refused: a login with another password
    JUNK,              // refused: a block that is no login
    SEND_FAILED,       // an answer or a chunk could not be sent
    STOPPED,           // capture stopped
};

// The reason in words, e.g. "closed by the recorder".
const char* LinkDropText(LINK_DROP eReason);
