#pragma once
// The benches the end-to-end tests drive, on Linux and under Wine alike: a
// window on the real hidapi backend beside one on a simulated unit, and
// vantrel-cli run as a program beside the same commands run in-process
// against a simulated unit; with what a unit keeps after a write and what
// the commissioning record holds.

#include "cli/Cli.h"
#include "cli/CliSupport.h"
#include "cli/CommissionRecord.h"
#include "config/ConfigJson.h"
#include "device/HidapiBackend.h"
#include "vm/VmSupport.h"

#include <QDateTime>
#include <QTemporaryDir>

#include <cstring>
#include <optional>

namespace vantrel::vm {

// A window on the real hidapi backend, or on one simulated unit holding the
// same as the virtual unit: `held` and kUnitMac, or the factory's
// configuration and MAC address when `held` is empty.
struct Bench {
    explicit Bench(bool kernel, const std::optional<ConfigRecord>& held = SampleUnitConfig())
        : form(kernel ? static_cast<HidBackend*>(&hidapi) : &sim)
    {
        simUnit = std::make_shared<SimulatedUnit>();
        if (held) {
            simUnit->StoreConfig(*held);
            simUnit->SetMac(kUnitMac);
        }
        sim.Add(simUnit);
    }
    HidapiBackend hidapi;
    SimulatedHidBackend sim;
    std::shared_ptr<SimulatedUnit> simUnit;
    FormHarness form;

    bool WaitForBox(const char* text, int timeoutMs = 20000)
    {
        return WaitUntil(
            [&] {
                for (const auto& b : form.Dialogs.Boxes)
                    if (b.Text == S(text))
                        return true;
                return false;
            },
            timeoutMs);
    }
};

// Runs `script` on a fresh window against the simulated unit and returns
// what that unit received.
inline std::vector<Report> SimulatedRequests(const std::function<void(Bench&)>& script,
                                             const std::optional<ConfigRecord>& held = SampleUnitConfig())
{
    Bench bench(false, held);
    bench.form.Create();
    script(bench);
    return bench.simUnit->Received();
}

inline void PressAndComplete(Bench& b, const char* button, const char* box)
{
    const std::size_t before = b.form.Dialogs.Boxes.size();
    b.form.Click(S(button));
    ASSERT_TRUE(WaitUntil([&] { return b.form.Dialogs.Boxes.size() > before; }, 30000)) << button;
    EXPECT_EQ(b.form.Dialogs.Boxes.back().Text, S(box));
    EXPECT_EQ(b.form.Form->State(), Awaiting::Nothing);
}

inline void Read(Bench& b)
{
    PressAndComplete(b, "ReadButton", "Read Complete");
}

// How long one step may take under software emulation before the test
// gives up on it.
inline constexpr int kStepMs = 60000;

struct CliResult {
    int Code = -1;
    QString Out, Err;
};

inline std::ostream& operator<<(std::ostream& os, const CliResult& r)
{
    return os << "exit " << r.Code << "\nout: " << r.Out.toStdString() << "\nerr: " << r.Err.toStdString();
}

// vantrel-cli as a child process, run to its end.
inline CliResult RunCliProgram(const QString& program, const QStringList& args)
{
    QProcess process;
    process.start(program, args);
    CliResult result;
    if (process.waitForFinished(kStepMs) && process.exitStatus() == QProcess::NormalExit) {
        result.Code = process.exitCode();
    } else {
        process.kill();
        process.waitForFinished(5000);
    }
    result.Out = QString::fromUtf8(process.readAllStandardOutput());
    result.Err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

// The same commands in-process, against one simulated unit.
struct SimulatedBench {
    explicit SimulatedBench(const std::optional<ConfigRecord>& held)
    {
        if (held) {
            Unit->StoreConfig(*held);
            Unit->SetMac(kUnitMac);
        }
        Backend.Add(Unit);
    }

    CliResult Run(const QStringList& args)
    {
        CliResult result;
        QTextStream out(&result.Out), err(&result.Err);
        CliContext context{Backend, out, err, Dir.filePath(S("SetFullMACAddress.txt"))};
        result.Code = RunCli(args, context);
        return result;
    }

    QTemporaryDir Dir;
    SimulatedHidBackend Backend;
    std::shared_ptr<SimulatedUnit> Unit = std::make_shared<SimulatedUnit>();
};

inline QByteArray DatBytes(const ConfigRecord& record)
{
    const DataFileImage image = EncodeDataFile(record);
    return QByteArray(reinterpret_cast<const char*>(image.data()), qsizetype(image.size()));
}

// What a unit that started from nothing keeps, and saves, after `written`.
inline QByteArray SavedAfterWriting(const ConfigRecord& written)
{
    return DatBytes(ReadBackOf(written, ConfigRecord{}));
}

inline ConfigRecord WithIp(ConfigRecord r, std::uint8_t last)
{
    const std::uint8_t ip[4] = {10, 0, 0, last};
    std::copy(std::begin(ip), std::end(ip), r.IPAddr);
    return r;
}

// The configuration commissioning writes: unlike the unit's own.
inline ConfigRecord SiteConfig()
{
    ConfigRecord r = SampleUnitConfig();
    std::memset(r.DeviceName, 0, sizeof r.DeviceName);
    StoreName(r.DeviceName, sizeof r.DeviceName, kDeviceNameChars, "Site unit");
    r.InvertOutputs[4] = 1;
    return r;
}

inline QString WriteSiteJson(const QTemporaryDir& dir)
{
    ConfigDocument document;
    document.Record = SiteConfig();
    const QString path = dir.filePath(S("site.json"));
    WriteFile(path, ConfigToJson(document));
    return path;
}

// The units' last lines in the record after the header, each without its
// time stamp and the columns every line has alike; each line must end in
// CR LF and start with a time stamp. The line before a unit's erase ("in
// progress") is left out.
inline QStringList RecordLines(const QString& path)
{
    const QByteArray bytes = ReadFile(path);
    EXPECT_EQ(bytes.count('\n'), bytes.count("\r\n")) << bytes.toStdString();
    EXPECT_TRUE(bytes.endsWith("\r\n")) << bytes.toStdString();
    QStringList lines = QString::fromUtf8(bytes).split(S("\r\n"));
    lines.removeLast();
    EXPECT_EQ(lines.value(0) + S("\r\n"), QString::fromLatin1(kCommissionHeader));
    QStringList entries;
    for (const QString& line : lines.mid(1)) {
        const QString time = line.section(QLatin1Char(','), 0, 0);
        EXPECT_TRUE(QDateTime::fromString(time, Qt::ISODate).isValid()) << line.toStdString();
        if (line.section(QLatin1Char(','), 5, 5) != S("in progress"))
            entries << line.section(QLatin1Char(','), 1, 5);
    }
    return entries;
}

} // namespace vantrel::vm
