#pragma once
// The version of the programs, as the build names it ("1.0").

#include <QString>

namespace vantrel {

QString ToolVersion();

} // namespace vantrel
