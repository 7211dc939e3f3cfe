#pragma once
// The unit vantrel-demo shows: a simulated unit with a configuration of its
// own, so a read visibly changes the window. The docs' screenshot of the
// demo is taken of this same unit.

#include "unit/SimulatedUnit.h"

#include <memory>

namespace vantrel {

std::shared_ptr<SimulatedUnit> MakeDemoUnit();

} // namespace vantrel
