#include "common/Version.h"

namespace vantrel {

QString ToolVersion()
{
    return QStringLiteral(VANTREL_VERSION);
}

} // namespace vantrel
