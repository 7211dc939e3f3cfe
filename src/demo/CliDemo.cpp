#include "demo/CliDemo.h"

#include "cli/Cli.h"
#include "config/ConfigJson.h"
#include "unit/SimulatedFaults.h"
#include "unit/SimulatedUnit.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <atomic>
#include <thread>

namespace vantrel::demo {

namespace {

const char kStateFile[] = "units.json";
const char kMacFile[] = "SetFullMACAddress.txt";
const QByteArray kMacFileText = "00\r\n10\r\n01\r\nA3\r\n04\r\n00\r\n";

struct DemoUnit {
    int Serial = 4711;
    ConfigRecord Config{};
    MacOctets Mac{0x00, 0x04, 0xA3, 0x01, 0x02, 0x0F};
    QStringList Faults;
};

// Marked lines of `text` on `stream`.
void Marked(QTextStream& stream, const QString& text)
{
    QStringList lines = text.split(QLatin1Char('\n'));
    if (lines.last().isEmpty())
        lines.removeLast();
    for (const QString& line : lines)
        stream << kLineMark << line << '\n';
    stream.flush();
}

ConfigRecord SampleConfig()
{
    ConfigRecord record{};
    SetDefaults(record);
    record.DHCPEnable = 0;
    const std::uint8_t ip[4] = {10, 0, 0, 5}, gateway[4] = {10, 0, 0, 1};
    std::copy(std::begin(ip), std::end(ip), record.IPAddr);
    std::copy(std::begin(gateway), std::end(gateway), record.GateWayAddr);
    StoreName(record.DeviceName, sizeof record.DeviceName, kDeviceNameChars, "Pump house");
    return record;
}

QJsonObject ToJson(const DemoUnit& unit)
{
    return {{QStringLiteral("serialNumber"), unit.Serial},
            {QStringLiteral("macAddress"), QString::fromStdString(MacAddressText(unit.Mac.data()))},
            {QStringLiteral("faults"), QJsonArray::fromStringList(unit.Faults)},
            {QStringLiteral("configuration"), QJsonDocument::fromJson(ConfigToJson(ConfigDocument{unit.Config, {}})).object()}};
}

bool FromJson(const QJsonObject& object, DemoUnit& unit, QString& error)
{
    unit.Serial = object.value(QStringLiteral("serialNumber")).toInt(4711);
    const QStringList octets = object.value(QStringLiteral("macAddress")).toString().split(QLatin1Char('.'));
    for (int i = 0; i < 6 && octets.size() == 6; ++i)
        unit.Mac[std::size_t(i)] = std::uint8_t(octets[i].toUInt(nullptr, 16));
    for (const QJsonValue& fault : object.value(QStringLiteral("faults")).toArray())
        unit.Faults << fault.toString();
    ConfigDocument document;
    QStringList errors;
    if (!ConfigFromJson(QJsonDocument(object.value(QStringLiteral("configuration")).toObject()).toJson(), document,
                        errors)) {
        error = errors.join(QStringLiteral("; "));
        return false;
    }
    unit.Config = document.Record;
    return true;
}

bool LoadBench(const QDir& state, std::vector<DemoUnit>& units, QString& error)
{
    QFile file(state.filePath(QString::fromLatin1(kStateFile)));
    if (!file.exists()) {
        units.assign(1, DemoUnit{4711, SampleConfig(), {0x00, 0x04, 0xA3, 0x01, 0x02, 0x0F}, {}});
        return true;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
        return false;
    }
    const QJsonArray list = QJsonDocument::fromJson(file.readAll()).object().value(QStringLiteral("units")).toArray();
    units.clear();
    for (const QJsonValue& value : list) {
        DemoUnit unit;
        if (!FromJson(value.toObject(), unit, error))
            return false;
        units.push_back(unit);
    }
    return true;
}

bool SaveBench(const QDir& state, const std::vector<DemoUnit>& units, QString& error)
{
    if (!state.exists() && !QDir().mkpath(state.path())) {
        error = QStringLiteral("cannot make the folder %1").arg(state.path());
        return false;
    }
    QJsonArray list;
    for (const DemoUnit& unit : units)
        list.append(ToJson(unit));
    QSaveFile file(state.filePath(QString::fromLatin1(kStateFile)));
    const QByteArray bytes = QJsonDocument(QJsonObject{{QStringLiteral("units"), list}}).toJson();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}

// setup [--units N] [--fault UNIT:FAULT]...: a new bench of N units
// (serial numbers 4711 on), each with the sample configuration, and a new
// MAC allocation file.
int Setup(const QStringList& args, const QDir& state, QTextStream& out, QTextStream& err)
{
    int count = 1;
    std::vector<std::pair<int, QString>> faults;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString value = i + 1 < args.size() ? args[i + 1] : QString();
        bool ok = false;
        if (args[i] == QStringLiteral("--units")) {
            count = value.toInt(&ok);
            if (!ok || count < 1 || count > 16) {
                Marked(err, QStringLiteral("vantrel-cli-demo setup: --units: '%1' is not a whole number from 1 to 16").arg(value));
                return 2;
            }
        } else if (args[i] == QStringLiteral("--fault")) {
            const int unit = value.section(QLatin1Char(':'), 0, 0).toInt(&ok);
            if (!ok || unit < 1) {
                Marked(err, QStringLiteral("vantrel-cli-demo setup: --fault: '%1' is not UNIT:FAULT (unit 1 on)").arg(value));
                return 2;
            }
            faults.emplace_back(unit, value.section(QLatin1Char(':'), 1));
        } else {
            Marked(err, QStringLiteral("vantrel-cli-demo setup: unknown option '%1'").arg(args[i]));
            return 2;
        }
        ++i;
    }
    std::vector<DemoUnit> units;
    for (int i = 0; i < count; ++i)
        units.push_back({4711 + i, SampleConfig(), {0x00, 0x04, 0xA3, 0x01, 0x02, std::uint8_t(0x0F + i)}, {}});
    for (const auto& [unit, fault] : faults) {
        std::string whyNot;
        SimulatedUnit probe;
        if (unit > count || !ApplySimulatedFault(probe, fault.toStdString(), whyNot)) {
            Marked(err, QStringLiteral("vantrel-cli-demo setup: --fault %1:%2: %3")
                            .arg(unit)
                            .arg(fault, unit > count ? QStringLiteral("there is no such unit")
                                                     : QString::fromStdString(whyNot)));
            return 2;
        }
        units[std::size_t(unit - 1)].Faults << fault;
    }
    QString error;
    QFile::remove(state.filePath(QString::fromLatin1(kMacFile)));
    if (!SaveBench(state, units, error)) {
        Marked(err, QStringLiteral("vantrel-cli-demo: cannot keep the bench in %1: %2").arg(state.path(), error));
        return 1;
    }
    QSaveFile mac(state.filePath(QString::fromLatin1(kMacFile)));
    if (!mac.open(QIODevice::WriteOnly) || mac.write(kMacFileText) != kMacFileText.size() || !mac.commit()) {
        Marked(err, QStringLiteral("vantrel-cli-demo: cannot write %1: %2").arg(mac.fileName(), mac.errorString()));
        return 1;
    }
    Marked(out, QStringLiteral("A bench of %1 simulated unit%2 in %3, MAC allocation file %4")
                    .arg(count)
                    .arg(count == 1 ? QString() : QStringLiteral("s"))
                    .arg(state.path(), state.filePath(QString::fromLatin1(kMacFile))));
    return 0;
}

void Give(SimulatedUnit& unit, const DemoUnit& demo)
{
    for (const QString& fault : demo.Faults) {
        std::string ignored;
        ApplySimulatedFault(unit, fault.toStdString(), ignored);
    }
}

QString OptionValue(const QStringList& args, const QString& name)
{
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == name && i + 1 < args.size())
            return args[i + 1];
        if (args[i].startsWith(name + QLatin1Char('=')))
            return args[i].mid(name.size() + 1);
    }
    return {};
}

} // namespace

QString DefaultStateFolder()
{
    const QString set = qEnvironmentVariable("VANTREL_CLI_DEMO_STATE");
    if (!set.isEmpty())
        return set;
    QString user = qEnvironmentVariable("USER", qEnvironmentVariable("USERNAME", QStringLiteral("user")));
    return QDir(QDir::tempPath()).filePath(QStringLiteral("vantrel-cli-demo-") + user);
}

int RunCliDemo(const QStringList& args, const QString& stateFolder, QTextStream& out, QTextStream& err, QIODevice* in,
               QIODevice* rawOut)
{
    const QDir state(stateFolder);
    if (!args.isEmpty() && args[0] == QStringLiteral("setup"))
        return Setup(args.mid(1), state, out, err);
    if (args.isEmpty() || args[0] == QStringLiteral("--help") || args[0] == QStringLiteral("-h")) {
        QString help = QStringLiteral(
            "vantrel-cli-demo: vantrel-cli against simulated units, for trying it without hardware.\n"
            "The units and their MAC allocation file are kept in %1\n"
            "(VANTREL_CLI_DEMO_STATE names another folder). A new bench:\n"
            "  vantrel-cli-demo setup [--units N] [--fault UNIT:FAULT]...\n"
            "Faults:\n").arg(state.path());
        for (const auto& [name, what] : SimulatedFaultNames())
            help += QStringLiteral("  %1  %2\n").arg(QString::fromStdString(name), -22).arg(QString::fromStdString(what));
        help += QStringLiteral("Every other command is vantrel-cli's:\n\n");
        Marked(out, help + CliUsage());
        return args.isEmpty() ? 2 : 0;
    }
    std::vector<DemoUnit> demo;
    QString error;
    if (!LoadBench(state, demo, error)) {
        Marked(err, QStringLiteral("vantrel-cli-demo: the bench in %1 cannot be read: %2").arg(state.path(), error));
        return 1;
    }
    if (!QFile::exists(state.filePath(QString::fromLatin1(kMacFile))) && (QDir().mkpath(state.path()))) {
        QSaveFile mac(state.filePath(QString::fromLatin1(kMacFile)));
        if (mac.open(QIODevice::WriteOnly) && mac.write(kMacFileText) == kMacFileText.size())
            mac.commit();
    }

    SimulatedHidBackend hid;
    std::vector<std::shared_ptr<SimulatedUnit>> units;
    for (const DemoUnit& d : demo) {
        SimulatedIdentity identity;
        identity.SerialNumber = d.Serial;
        auto unit = std::make_shared<SimulatedUnit>(identity);
        unit->StoreConfig(d.Config);
        unit->SetMac(d.Mac);
        Give(*unit, d);
        units.push_back(unit);
        hid.Add(unit);
    }

    QString outText, errText;
    QTextStream outStream(&outText), errStream(&errText);
    std::atomic<bool> interrupt{false};
    CliContext context{hid, outStream, errStream, state.filePath(QString::fromLatin1(kMacFile))};
    context.Interrupt = &interrupt;
    context.In = in;
    context.RawOut = rawOut;
    context.Station = QStringLiteral("simulated bench");
    context.PollInterval = std::chrono::milliseconds(5);
    context.Now = [] {
        const QDateTime now = QDateTime::currentDateTime();
        return now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODate);
    };

    // The operator of the bench loop: plugs in the units one after the
    // other, each once the one before is unplugged, and ends the run (as
    // Ctrl-C would) when none is left; with --parallel they are all
    // plugged in from the start, and the run ends once each has its line.
    std::size_t next = 0;
    const bool commission = !args.isEmpty() && args[0] == QStringLiteral("commission");
    const bool parallel = args.contains(QStringLiteral("--parallel"));
    const QString record = OptionValue(args, QStringLiteral("--record"));
    // The units' last lines in the record, and those of units commissioned.
    const auto recordLines = [&](const char* what) {
        QFile file(record);
        if (!file.open(QIODevice::ReadOnly))
            return qsizetype(0);
        const QByteArray bytes = file.readAll();
        if (what)
            return bytes.count(what);
        return bytes.count("\r\n") - bytes.count(",in progress,") - (bytes.isEmpty() ? 0 : 1); // not the header
    };
    const auto finalLines = [&] { return recordLines(nullptr); };
    const qsizetype linesBefore = commission ? finalLines() : 0;
    const qsizetype commissionedBefore = commission ? recordLines(",commissioned,") : 0;
    const QString countText = OptionValue(args, QStringLiteral("--count"));
    const auto started = std::chrono::steady_clock::now();
    if (commission && !parallel) {
        for (const auto& unit : units)
            unit->Unplug();
        context.Sleep = [&](std::chrono::milliseconds) {
            if (next > 0 && units[next - 1]->IsPlugged()) {
                units[next - 1]->Unplug();
            } else if (next < units.size()) {
                units[next]->PlugIn();
                Give(*units[next], demo[next]);
                ++next;
            } else {
                interrupt = true;
            }
        };
    } else if (commission) {
        context.Sleep = [&](std::chrono::milliseconds) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            // Every unit has its line; a run that reached --count ends by itself.
            const bool allDone = finalLines() - linesBefore >= qsizetype(units.size());
            const bool countReached =
                !countText.isEmpty() && recordLines(",commissioned,") - commissionedBefore >= countText.toLongLong();
            if ((allDone && !countReached) || std::chrono::steady_clock::now() - started > std::chrono::seconds(60))
                interrupt = true;
        };
    }
    const int code = RunCli(args, context);
    Marked(out, outText);
    Marked(err, errText);

    for (std::size_t i = 0; i < units.size(); ++i) {
        demo[i].Config = units[i]->StoredConfig();
        demo[i].Mac = units[i]->Mac();
    }
    if (!SaveBench(state, demo, error)) {
        Marked(err, QStringLiteral("vantrel-cli-demo: cannot keep the bench in %1: %2").arg(state.path(), error));
        return code == 0 ? 1 : code;
    }
    return code;
}

} // namespace vantrel::demo
