#include "common/FixedPaths.h"

#include <QCoreApplication>
#include <QDir>

FixedPaths FixedPaths::Production()
{
    FixedPaths paths;
#ifdef Q_OS_WIN
    paths.MacAllocationFile = QStringLiteral("C:\\DravonSetMACAddress\\SetFullMACAddress.txt");
#else
    paths.MacAllocationFile = QDir::homePath() + QStringLiteral("/DravonSetMACAddress/SetFullMACAddress.txt");
#endif
    paths.ProgramDir = QCoreApplication::applicationDirPath();
    return paths;
}
