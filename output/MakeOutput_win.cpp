#include "output/Output.h"

#include "output/RecorderOutput.h"
#include "output/SerialOutput.h"

std::unique_ptr<COutput> MakeOutput(const POS_SETTING_INFO& record, COutputQueue& queue,
                                    const LINK_TIMING& linkTiming)
{
    if (record.ePrinterType == PRINTER_TYPE::Tcp)
        return std::make_unique<CRecorderOutput>(queue, linkTiming);
    return std::make_unique<CSerialOutput>(queue);
}
