#pragma once
// A source's output towards the recorder: a serial line or a recorder link,
// draining the source's queue. The engine makes one per source from the
// printer type (MakeOutput) and keeps the queue apart, so that it outlives
// the output.
#include "config/PosSettingInfo.h"
#include "link/LinkTiming.h"
#include "output/OutputEvents.h"
#include "output/OutputQueue.h"

#include <memory>

class COutput {
public:
    virtual ~COutput() = default;
    // Opens the output the record names for source nSource and reports the first status.
    virtual void Open(int nSource, const POS_SETTING_INFO& record, COutputEvents& events) = 0;
    // Asks the output to end without waiting, so that many outputs end together; Close then waits.
    virtual void BeginClose() {}
    // Ends the output's threads and closes what it opened; the queue keeps what waits.
    virtual void Close() = 0;
    virtual void SetProbe(COutputProbe* /*pProbe*/) {}
};

// The output for the record's printer type, draining queue; a recorder link
// waits as linkTiming says.
std::unique_ptr<COutput> MakeOutput(const POS_SETTING_INFO& record, COutputQueue& queue,
                                    const LINK_TIMING& linkTiming);
