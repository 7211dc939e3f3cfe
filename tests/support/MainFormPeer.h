#pragma once
// The window's insides for the tests, the fuzz targets and the benchmarks:
// they set up a state to start from (an exchange half done, a link without
// its receive thread, a record) and look at what the window's own accessors
// do not show. The programs never use it.

#include "app/MainForm.h"
#include "app/Port1Comms.h"

#include <memory>
#include <ostream>

class MainFormPeer {
public:
    explicit MainFormPeer(TMainForm& form) : form_(form) {}

    Awaiting& ExchangeState() { return form_.ExchangeState; }
    std::uint8_t& BlockNumber() { return form_.BlockNumber; }
    vantrel::BlockImage& BlockImage() { return form_.BlockImage; }
    vantrel::Report& InReport() { return form_.InReport; }
    vantrel::Report& OutReport() { return form_.OutReport; }
    vantrel::ConfigRecord& ConfigRecord() { return form_.ConfigRecord; }
    vantrel::ConfigRecord& ConfigSnapshot() { return form_.ConfigSnapshot; }
    std::atomic<bool>& DeviceFound() { return form_.DeviceFound; }
    std::unique_ptr<vantrel::HidHandle>& DeviceWriteHandle() { return form_.DeviceWriteHandle; }
    std::unique_ptr<vantrel::HidHandle>& DeviceReadHandle() { return form_.DeviceReadHandle; }
    QStringList& MacAllocationList() { return form_.MacAllocationList; }
    vantrel::HelpViewer* HelpLibrary() { return form_.HelpLibrary.get(); }

    // A receive thread on the window's open read handle, wired as the
    // window wires its own, not started.
    std::unique_ptr<Port1Comms> MakeReceiveThread() { return form_.MakeReceiveThread(); }

private:
    TMainForm& form_;
};

// GoogleTest shows a state by its number.
inline void PrintTo(Awaiting state, std::ostream* os)
{
    *os << static_cast<int>(state);
}
