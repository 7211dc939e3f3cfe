#pragma once
// vantrel-cli run in-process against simulated units, its two streams
// caught, its files in a temporary folder.

#include "cli/Cli.h"
#include "support/UnitHarness.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QTextStream>

#include <atomic>
#include <functional>
#include <initializer_list>
#include <memory>

struct CliRun {
    int Code = -1;
    QString Out, Err;
    QByteArray RawOut; // bytes written to standard output ("-")
};

inline void PrintTo(const CliRun& run, std::ostream* os)
{
    *os << "exit " << run.Code << "\nout: " << run.Out.toStdString() << "\nerr: " << run.Err.toStdString();
}

class CliHarness {
public:
    CliHarness() { MacFile = Path("SetFullMACAddress.txt"); }

    std::shared_ptr<vantrel::SimulatedUnit> AddUnit(const std::string& hardwareId = "HID\\VID_04D8&PID_FD37&REV_0006")
    {
        vantrel::SimulatedIdentity identity;
        identity.HardwareId = hardwareId;
        auto unit = std::make_shared<vantrel::SimulatedUnit>(identity);
        unit->StoreConfig(SampleUnitConfig());
        Backend.Add(unit);
        return unit;
    }

    QString Path(const char* name) const { return Dir.filePath(QString::fromLatin1(name)); }

    CliRun Run(const QStringList& args)
    {
        CliRun run;
        QTextStream out(&run.Out), err(&run.Err);
        vantrel::CliContext context{Hid ? *Hid : Backend, out, err, MacFile};
        context.Interrupt = &Interrupt;
        context.Sleep = Sleep;
        context.Now = [] { return QStringLiteral("2026-12-07T10:00:00+01:00"); };
        context.LockWait = LockWait;
        context.Station = QStringLiteral("bench-1");
        QBuffer in(&Stdin), raw(&run.RawOut);
        in.open(QIODevice::ReadOnly);
        raw.open(QIODevice::WriteOnly);
        context.In = &in;
        context.RawOut = &raw;
        run.Code = vantrel::RunCli(args, context);
        return run;
    }

    QTemporaryDir Dir;
    vantrel::SimulatedHidBackend Backend;
    vantrel::HidBackend* Hid = nullptr; // in front of Backend when set
    QString MacFile;
    QByteArray Stdin; // what standard input holds
    std::atomic<bool> Interrupt{false};
    std::function<void(std::chrono::milliseconds)> Sleep = [](std::chrono::milliseconds) {};
    std::chrono::milliseconds LockWait{200};
};

inline QStringList Args(std::initializer_list<const char*> words)
{
    QStringList list;
    for (const char* w : words)
        list << QString::fromUtf8(w);
    return list;
}

// The configuration the tests write: unlike the unit's own in most fields.
inline vantrel::ConfigRecord SiteConfig()
{
    using namespace vantrel;
    ConfigRecord r = SampleUnitConfig();
    const std::uint8_t ip[4] = {10, 1, 2, 77};
    std::copy(std::begin(ip), std::end(ip), r.IPAddr);
    std::memset(r.DeviceName, 0, sizeof r.DeviceName);
    std::memset(r.EthernetName, 0, sizeof r.EthernetName);
    StoreName(r.DeviceName, sizeof r.DeviceName, kDeviceNameChars, "Bench unit \xE9 7");
    StoreName(r.EthernetName, sizeof r.EthernetName, kEthernetNameChars, "ETH-7");
    r.ClientPort = 503;
    r.Hysteresis[3] = 0;
    r.InvertOutputs[4] = 1;
    return r;
}
