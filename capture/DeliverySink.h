#pragma once
#include <cstdint>

// What an input sees of the outputs: the one hand-over of the bytes it
// captured for a source. The output side nibble-swaps them and queues or
// sends them; an input never reaches an output any other way.
class CDeliverySink {
public:
    virtual ~CDeliverySink() = default;
    // May be called from any input thread; count may exceed any buffer size.
    virtual void Deliver(int nSource, const uint8_t* bytes, int count) = 0;
};
