#pragma once
// The faults a simulated unit can be given by name, as the demo programs
// take them from their command lines: "program-mode", "other-application",
// "no-access", "silent-after:N", "pulled-after:N", "lose-replies-after:N"
// (N requests answered first; the lost replies' requests are acted on).

#include "unit/SimulatedUnit.h"

#include <string>
#include <vector>

namespace vantrel {

// The names, with what each does, for a help text.
const std::vector<std::pair<std::string, std::string>>& SimulatedFaultNames();

// Gives `unit` the fault; false, with the reason, for a name that is none.
// A fault that a plug-in clears ("pulled-after") is given again by calling
// this once more after PlugIn.
bool ApplySimulatedFault(SimulatedUnit& unit, const std::string& fault, std::string& whyNot);

} // namespace vantrel
