#pragma once
#include "base/SourceCounters.h"
#include "link/LinkDrop.h"

#include <cstdint>
#include <string>

// What the recorder link needs from the queue of the source it serves. Every
// call comes from the link's own thread (a first ListenFailed from the thread
// that starts the link); the queue holds its lock inside each.
class CLinkQueue {
public:
    // A recorder connected from strPeer ("address:port"); hConnection is the
    // link's connection handle (a SOCKET), open until Dropped returns. Sends
    // go out on it from now on.
    virtual void Connected(uintptr_t hConnection, const std::string& strPeer) = 0;
    // The recorder logged in: what waits is sent from its front at once.
    virtual void LoggedIn() = 0;
    // The recorder acknowledged the chunk in flight: it leaves the queue, the next one goes out.
    virtual void Acknowledged() = 0;
    // The connection is gone; the chunk in flight stays at the front for the next recorder.
    // After this returns no send uses the connection handle any more.
    virtual void Dropped(LINK_DROP eReason) = 0;
    // Sends a link message (login reply, keep-alive answer, refusal) whole,
    // never inside a chunk; false when the connection failed.
    virtual bool SendMessage(const uint8_t* bytes, int count) = 0;
    // Reports: listening failed (it is tried again), listening again after
    // a failure, a login was refused (a wrong password or junk).
    virtual void ListenFailed() = 0;
    virtual void Listening() = 0;
    virtual void Refused(REFUSAL_REASON eReason) = 0;

protected:
    ~CLinkQueue() = default;
};
