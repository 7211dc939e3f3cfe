#include "protocol/Exchanges.h"

#include <algorithm>

namespace vantrel {

void BuildRequest(const RequestStep& step, std::uint8_t blockNumber, Report& out, const ConfigRecord& record,
                  const MacOctets& mac)
{
    switch (step.Kind) {
    case RequestKind::Identify:
        SetRequest(out, cmd::Identify);
        return;
    case RequestKind::Erase:
        SetRequest(out, cmd::Erase);
        return;
    case RequestKind::BlockData:
        if (step.Block == 0)
            EncodeBlock0Data(out, blockNumber, record);
        else
            EncodeBlock1Data(out, blockNumber, record);
        return;
    case RequestKind::BlockDone:
        if (step.Block == 0)
            EncodeBlock0Done(out, blockNumber);
        else
            EncodeBlock1Done(out, blockNumber);
        return;
    case RequestKind::Finish:
        SetRequest(out, cmd::Finish);
        return;
    case RequestKind::ReadBlock:
        SetRequest(out, cmd::ReadBlock, blockNumber);
        return;
    case RequestKind::ReadBlockDone:
        SetRequest(out, cmd::ReadBlockDone, blockNumber);
        return;
    case RequestKind::MacRead:
        SetRequest(out, cmd::Mac, cmd::MacRead);
        return;
    case RequestKind::MacWrite:
        SetRequest(out, cmd::Mac, cmd::MacWrite);
        std::copy(mac.begin(), mac.end(), out.begin() + 3);
        return;
    }
}

} // namespace vantrel
