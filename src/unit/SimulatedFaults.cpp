#include "unit/SimulatedFaults.h"

#include <charconv>

namespace vantrel {

const std::vector<std::pair<std::string, std::string>>& SimulatedFaultNames()
{
    static const std::vector<std::pair<std::string, std::string>> names{
        {"program-mode", "the unit is in program mode"},
        {"other-application", "the unit runs another application"},
        {"no-access", "the unit cannot be opened"},
        {"silent-after:N", "the unit answers N requests, then no more"},
        {"pulled-after:N", "the unit is pulled out on request N+1"},
        {"lose-replies-after:N", "from request N+1 on the unit acts on each request but its reply is lost"},
    };
    return names;
}

namespace {
bool Count(const std::string& fault, const std::string& name, std::size_t& count)
{
    const std::string prefix = name + ":";
    if (fault.rfind(prefix, 0) != 0)
        return false;
    const char* first = fault.data() + prefix.size();
    const char* last = fault.data() + fault.size();
    const auto [end, error] = std::from_chars(first, last, count);
    return error == std::errc() && end == last && first != last;
}
} // namespace

bool ApplySimulatedFault(SimulatedUnit& unit, const std::string& fault, std::string& whyNot)
{
    std::size_t count = 0;
    if (fault == "program-mode") {
        SimulatedIdentity id = unit.Identity();
        id.HardwareId = "HID\\VID_04D8&PID_FD37&REV_0001";
        unit.SetIdentity(id);
    } else if (fault == "other-application") {
        SimulatedIdentity id = unit.Identity();
        id.ApplicationCode = {0x00, 0x01, 0x06};
        unit.SetIdentity(id);
    } else if (fault == "no-access") {
        unit.FailOpens(HidOpenMode::Write, "Permission denied");
    } else if (Count(fault, "silent-after", count)) {
        unit.StopAnsweringAfter(count);
    } else if (Count(fault, "pulled-after", count)) {
        unit.UnplugAfter(count);
    } else if (Count(fault, "lose-replies-after", count)) {
        unit.LoseRepliesAfter(count);
    } else {
        whyNot = "'" + fault + "' is not a fault; the faults are:";
        for (const auto& [name, what] : SimulatedFaultNames())
            whyNot += " " + name;
        return false;
    }
    return true;
}

} // namespace vantrel
