// vantrel-cli: every subcommand against simulated units, every exit code,
// bad files, and the window and the CLI sending the very same bytes for the
// same exchanges.

#include "cli/Cli.h"
#include "cli/CliDocs.h"
#include "cli/CliHelp.h"
#include "cli/CliSupport.h"
#include "cli/CommissionRecord.h"
#include "config/ConfigJson.h"
#include "config/RecordFields.h"
#include "support/CliHarness.h"

#include <QGroupBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLockFile>
#include <QProcess>
#include <QCryptographicHash>

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <random>
#include <thread>

using namespace vantrel;

namespace {

// The bytes of a literal that may hold zero bytes.
template <std::size_t N>
QByteArray Raw(const char (&bytes)[N])
{
    return QByteArray(bytes, N - 1);
}

QByteArray DatBytes(const ConfigRecord& record, const DataFileHeader& header = {})
{
    const DataFileImage image = EncodeDataFile(record, header);
    return QByteArray(reinterpret_cast<const char*>(image.data()), qsizetype(image.size()));
}

std::string RecordHex(const ConfigRecord& r)
{
    std::string text;
    const auto* p = reinterpret_cast<const std::uint8_t*>(&r);
    for (std::size_t i = 0; i < sizeof r; ++i)
        text += QStringLiteral("%1 ").arg(p[i], 2, 16, QLatin1Char('0')).toStdString();
    return text;
}

} // namespace

// ---- Exit codes --------------------------------------------------------------------------

struct ExitCase {
    const char* name;
    std::function<void(CliHarness&)> setUp;
    std::vector<const char*> args; // "$dir/" starts a path in the test's folder
    CliExit code;
    const char* message; // a line of the error stream
};

void PrintTo(const ExitCase& c, std::ostream* os)
{
    *os << c.name;
}

class CliExitCodes : public testing::TestWithParam<ExitCase> {};

TEST_P(CliExitCodes, EachFailureEndsInItsCodeAndMessage)
{
    const ExitCase& c = GetParam();
    CliHarness h;
    if (c.setUp)
        c.setUp(h);
    QStringList args;
    for (const char* a : c.args)
        args << QString::fromUtf8(a).replace(QStringLiteral("$dir/"), h.Dir.path() + QLatin1Char('/'));
    const CliRun run = h.Run(args);
    EXPECT_EQ(run.Code, int(c.code)) << testing::PrintToString(run);
    const QString message = QString::fromUtf8(c.message).replace(QStringLiteral("$dir/"), h.Dir.path() + QLatin1Char('/'));
    EXPECT_TRUE(run.Err.split(QLatin1Char('\n')).contains(message)) << testing::PrintToString(run);
}

namespace {
void Unit(CliHarness& h)
{
    h.AddUnit();
}
void TwoUnits(CliHarness& h)
{
    h.AddUnit();
    h.AddUnit("HID\\VID_04D8&PID_FD37&REV_0001");
}
void Site(CliHarness& h)
{
    WriteFile(h.Path("site.dat"), DatBytes(SiteConfig()));
    WriteFile(h.Path("other.dat"), DatBytes(SampleUnitConfig()));
}
} // namespace

INSTANTIATE_TEST_SUITE_P(
    Table, CliExitCodes,
    testing::Values(
        ExitCase{"Success", Unit, {"info"}, CliExit::Success, ""},
        ExitCase{"UnknownSubcommand", Unit, {"frobnicate"}, CliExit::Usage, "vantrel-cli: unknown subcommand 'frobnicate'"},
        ExitCase{"UnknownOption", Unit, {"read", "--colour"}, CliExit::Usage, "vantrel-cli read: unknown option '--colour'"},
        ExitCase{"MissingArgument", Unit, {"write"}, CliExit::Usage, "vantrel-cli write: missing argument: FILE"},
        ExitCase{"UnexpectedArgument", Unit, {"list", "x"}, CliExit::Usage, "vantrel-cli list: unexpected argument 'x'"},
        ExitCase{"OptionGivenTwice", Site, {"write", "$dir/site.dat", "--port", "1", "--port=2"}, CliExit::Usage,
                 "vantrel-cli write: --port is given more than once"},
        ExitCase{"MissingValue", Unit, {"read", "-o"}, CliExit::Usage, "vantrel-cli read: --output needs a value (FILE)"},
        ExitCase{"SwitchWithValue", Unit, {"mac", "--next=1"}, CliExit::Usage, "vantrel-cli mac: --next takes no value"},
        ExitCase{"BadTimeout", Unit, {"read", "--timeout", "0"}, CliExit::Usage,
                 "--timeout: '0' is not a whole number of milliseconds from 1 to 3600000"},
        ExitCase{"OutputNeitherDatNorJson", Unit, {"read", "-o", "$dir/x.txt"}, CliExit::Usage, ""},
        ExitCase{"NoUnit", nullptr, {"read"}, CliExit::NoUnit, "Cannot find QUORVEX"},
        ExitCase{"NoUnitToList", [](CliHarness& h) { h.Backend.AddOtherDevice("HID\\VID_046D&PID_C52B&REV_1211"); },
                 {"list"}, CliExit::NoUnit, "Cannot find QUORVEX"},
        ExitCase{"ProgramMode", [](CliHarness& h) { h.AddUnit("HID\\VID_04D8&PID_FD37&REV_0001"); }, {"info"},
                 CliExit::ProgramMode, "QUORVEX is in Program Mode"},
        ExitCase{"NoAccess", [](CliHarness& h) { h.AddUnit()->FailOpens(HidOpenMode::Read); }, {"read"},
                 CliExit::NoAccess, "Cannot open sim:0: Device or resource busy"},
        ExitCase{"SilentUnit", [](CliHarness& h) { h.AddUnit()->StopAnsweringAfter(3); }, {"read", "--timeout", "50"},
                 CliExit::NoAnswer, "QUORVEX did not answer within 50 ms"},
        ExitCase{"UnitPulledMidRead", [](CliHarness& h) { h.AddUnit()->UnplugAfter(2); }, {"read"}, CliExit::Failure,
                 "QUORVEX went away"},
        ExitCase{"UnitPulledMidWrite", [](CliHarness& h) { Site(h), h.AddUnit()->UnplugAfter(3); },
                 {"write", "$dir/site.dat"}, CliExit::Failure,
                 "The write did not finish: the unit may hold an incomplete configuration. Write it again."},
        ExitCase{"WrongApplication",
                 [](CliHarness& h) {
                     SimulatedIdentity id;
                     id.ApplicationCode = {0, 1, 6};
                     h.AddUnit()->SetIdentity(id);
                 },
                 {"info"}, CliExit::CheckFailed, "Application is not a QUORVEX Vantrel"},
        ExitCase{"DiffFindsDifferences", Site, {"diff", "$dir/site.dat", "$dir/other.dat"}, CliExit::CheckFailed, ""},
        ExitCase{"MissingFile", Unit, {"write", "$dir/none.dat"}, CliExit::BadFile, ""},
        ExitCase{"NoMacFile", Unit, {"mac", "--next"}, CliExit::BadFile, ""},
        ExitCase{"Interrupted", [](CliHarness& h) { h.AddUnit(), h.Interrupt = true; }, {"read"}, CliExit::Interrupted,
                 "Interrupted"},
        ExitCase{"SeveralUnitsWithoutUnit", TwoUnits, {"read"}, CliExit::Usage,
                 "2 QUORVEX units are present; choose one with --unit and its path or serial number:"},
        ExitCase{"UnitOfNoSuchSerial", TwoUnits, {"info", "--unit", "4712"}, CliExit::NoUnit,
                 "  sim:1  program mode, no serial number"},
        ExitCase{"UnitOfNoSuchPath", TwoUnits, {"read", "--unit", "sim:7"}, CliExit::NoUnit,
                 "--unit sim:7: no unit present has this path or serial number; present:"},
        ExitCase{"UnitNamedInProgramMode", TwoUnits, {"info", "--unit", "sim:1"}, CliExit::ProgramMode,
                 "QUORVEX is in Program Mode"},
        ExitCase{"SerialNumberTwice", [](CliHarness& h) { h.AddUnit(), h.AddUnit(); }, {"info", "--unit", "4711"},
                 CliExit::Usage, "--unit 4711: several units have this serial number (sim:0, sim:1); choose one by its path"},
        ExitCase{"CommissionWithoutRecord", Site, {"commission", "--config", "$dir/site.dat", "--ip-from", "10.1.2.3"},
                 CliExit::Usage, "vantrel-cli commission: --record is required"},
        ExitCase{"CommissionFromBroadcast", Site,
                 {"commission", "--config", "$dir/site.dat", "--ip-from", "10.1.2.255", "--record", "$dir/r.csv"},
                 CliExit::Usage, "--ip-from: 10.1.2.255 is the broadcast address of the subnet 10.1.2.0/255.255.255.0"},
        ExitCase{"CommissionPastTheSubnet", Site,
                 {"commission", "--config", "$dir/site.dat", "--ip-from", "10.1.2.250", "--count", "6", "--record",
                  "$dir/r.csv"},
                 CliExit::Usage,
                 "--count 6 from 10.1.2.250 runs past 10.1.2.254, the last host address of the subnet 10.1.2.0/255.255.255.0"},
        ExitCase{"NotARecord", [](CliHarness& h) { Site(h), WriteFile(h.Path("r.csv"), "name,price\r\n"); },
                 {"commission", "--config", "$dir/site.dat", "--ip-from", "10.1.2.3", "--record", "$dir/r.csv"},
                 CliExit::BadFile, "$dir/r.csv is not a commissioning record, so nothing was appended to it: its first "
                                   "line is not the record's header."},
        ExitCase{"AddressInTheRecord",
                 [](CliHarness& h) {
                     Site(h), WriteFile(h.Path("r.csv"), QByteArray(kCommissionHeaderSixColumns) + "T,1,1,,10.1.2.3,x\r\n");
                 },
                 {"commission", "--config", "$dir/site.dat", "--ip-from", "10.1.2.3", "--record", "$dir/r.csv"},
                 CliExit::Usage, "The commissioning record $dir/r.csv lists the IP address 10.1.2.3 as given to a unit "
                                 "already, in line 2; nothing was sent with it."},
        ExitCase{"NextWithAnEmptyRecord", Site,
                 {"commission", "--config", "$dir/site.dat", "--ip-from", "next", "--record", "$dir/r.csv"},
                 CliExit::Usage, "--ip-from next: the commissioning record $dir/r.csv names no IP address yet; give the "
                                 "first unit's address"},
        // The same missing allocation file gives the same code from every
        // subcommand, its folder missing or not; a held one gives 9 alone.
        ExitCase{"MacFileMissing", Unit, {"mac", "--next"}, CliExit::BadFile,
                 "MAC allocation file not found: $dir/SetFullMACAddress.txt"},
        ExitCase{"MacFileFolderMissing", [](CliHarness& h) { Unit(h), h.MacFile = h.Path("no/SetFullMACAddress.txt"); },
                 {"mac", "--next"}, CliExit::BadFile, "MAC allocation file not found: $dir/no/SetFullMACAddress.txt"},
        ExitCase{"MacFileFolderMissingToCommission",
                 [](CliHarness& h) { Site(h), h.MacFile = h.Path("no/SetFullMACAddress.txt"); },
                 {"commission", "--config", "$dir/site.dat", "--ip-from", "10.1.2.3", "--record", "$dir/r.csv", "--mac-next"},
                 CliExit::BadFile, "MAC allocation file not found: $dir/no/SetFullMACAddress.txt"},
        ExitCase{"MacFileLockCannotBeMade",
                 [](CliHarness& h) {
                     Unit(h), WriteFile(h.MacFile, "0F\n1E\n2D\n3C\n4B\n5A\n");
                     QDir(h.Dir.path()).mkdir(QStringLiteral("SetFullMACAddress.txt.lock"));
                 },
                 {"mac", "--next"}, CliExit::BadFile,
                 "Cannot use the MAC allocation file $dir/SetFullMACAddress.txt: its lock file "
                 "$dir/SetFullMACAddress.txt.lock cannot be created: a folder of that name is in the way"},
        ExitCase{"RecordInAMissingFolder", Site,
                 {"commission", "--config", "$dir/site.dat", "--ip-from", "10.1.2.3", "--record", "$dir/no/r.csv"},
                 CliExit::Failure, "Cannot use the commissioning record $dir/no/r.csv: its lock file $dir/no/r.csv.lock "
                                   "cannot be created: the folder $dir/no does not exist"},
        ExitCase{"CommissionBadAddress", Site,
                 {"commission", "--config", "$dir/site.dat", "--ip-from", "10.1.2", "--record", "$dir/r.csv"},
                 CliExit::Usage, "Invalid IP Address"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Cli, HelpForTheProgramAndEachSubcommand)
{
    CliHarness h;
    const CliRun program = h.Run(Args({"--help"}));
    EXPECT_EQ(program.Code, 0);
    for (const char* name : {"list", "info", "read", "write", "mac", "diff", "convert"}) {
        EXPECT_TRUE(program.Out.contains(QStringLiteral("\n  %1 ").arg(QLatin1String(name)))) << name;
        const CliRun help = h.Run(Args({name, "--help"}));
        EXPECT_EQ(help.Code, 0) << name;
        EXPECT_TRUE(help.Out.startsWith(QStringLiteral("Usage: vantrel-cli %1").arg(QLatin1String(name)))) << name;
        EXPECT_EQ(help.Out.contains(QStringLiteral("--timeout MS")), std::strcmp(name, "convert") != 0 && std::strcmp(name, "list") != 0)
            << name;
    }
    EXPECT_TRUE(h.Run(Args({"mac", "--help"})).Out.contains(QStringLiteral("--mac-file PATH")));
    EXPECT_EQ(h.Run({}).Code, int(CliExit::Usage));
}

// Every help fits a terminal of 80 columns and ends in exit code 0.
class CliHelpWidth : public testing::TestWithParam<QString> {};

TEST_P(CliHelpWidth, EveryLineFitsEightyColumns)
{
    CliHarness h;
    const CliRun run = h.Run(GetParam() == S("program") ? Args({"--help"}) : QStringList{GetParam(), S("--help")});
    EXPECT_EQ(run.Code, 0);
    EXPECT_TRUE(run.Err.isEmpty());
    for (const QString& line : run.Out.split(QLatin1Char('\n')))
        EXPECT_LE(line.size(), 80) << line.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Table, CliHelpWidth, testing::ValuesIn([] {
                             QStringList names{S("program")};
                             for (const cli::CommandSpec& spec : cli::CommandSpecs())
                                 names << spec.Name;
                             return names;
                         }()),
                         [](const auto& info) { return info.param.toStdString(); });

// docs/cli.md shows the exit codes' table as the program has it.
TEST(Cli, TheDocumentedExitCodesAreThoseOfTheProgram)
{
    const QStringList page = QString::fromUtf8(ReadFile(S(QT_TESTCASE_SOURCEDIR "/../docs/cli.md"))).split('\n');
    for (const ExitCodeText& code : ExitCodeTexts())
        EXPECT_TRUE(page.contains(QStringLiteral("| %1 | %2 |").arg(int(code.Code)).arg(QString::fromUtf8(code.Meaning))))
            << code.Meaning;
}

// The completion, sourced in bash: subcommands, options, their values, files.
TEST(Cli, TheBashCompletionCompletesSubcommandsOptionsAndValues)
{
    CliHarness h;
    WriteFile(h.Path("site.dat"), "");
    // --config offers configurations, --record records, and folders.
    ASSERT_TRUE(QDir(h.Dir.path()).mkpath(S("bench/old.csv")));
    for (const char* name : {"bench/a.dat", "bench/b.JSON", "bench/c.csv", "bench/d.txt", "bench/edat"})
        WriteFile(h.Path(name), "");
    WriteFile(h.Path("completion.bash"), cli::BashCompletion().toUtf8());
    QProcess bash;
    bash.setWorkingDirectory(h.Dir.path());
    bash.start(S("bash"), {S("-uc"), S(R"(source ./completion.bash
for line in "com" "write --dh" "write --broadcast = o" "diff u" "convert si" "help wr" \
        "commission --config bench/" "commission --record = bench/"; do
    read -ra COMP_WORDS <<<"vantrel-cli $line"
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _vantrel_cli
    echo $(printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort) # file names come in the folder's order
done)")});
    ASSERT_TRUE(bash.waitForFinished(10000));
    EXPECT_EQ(bash.readAllStandardError(), "");
    EXPECT_EQ(QString::fromUtf8(bash.readAllStandardOutput()), "commission\n--dhcp\noff on\nunit\nsite.dat\nwrite\n"
                                            "bench/a.dat bench/b.JSON bench/old.csv\nbench/c.csv bench/old.csv\n");
}

// ---- list, info, read -------------------------------------------------------------------------

TEST(Cli, ListShowsEveryUnitItsModeAndAccess)
{
    CliHarness h;
    h.Backend.AddOtherDevice("HID\\VID_046D&PID_C52B&REV_1211");
    h.AddUnit();
    h.AddUnit("HID\\VID_04D8&PID_FD37&REV_0001");
    h.AddUnit()->FailOpens(HidOpenMode::Write, "Permission denied");
    h.AddUnit("HID\\VID_04D8&PID_FD37&REV_0000");
    const CliRun run = h.Run(Args({"list"}));
    EXPECT_EQ(run.Code, 0);
    EXPECT_EQ(run.Out, QStringLiteral("HID\\VID_04D8&PID_FD37&REV_0006\tsim:1\tnormal\tcan be opened\n"
                                      "HID\\VID_04D8&PID_FD37&REV_0001\tsim:2\tprogram mode\tcan be opened\n"
                                      "HID\\VID_04D8&PID_FD37&REV_0006\tsim:3\tnormal\tcannot be opened: Permission denied\n"
                                      "HID\\VID_04D8&PID_FD37&REV_0000\tsim:4\tnormal\tcan be opened\n"));
}

TEST(Cli, InfoAndReadPrintTheUnit)
{
    CliHarness h;
    auto unit = h.AddUnit();
    SimulatedIdentity id;
    id.SerialNumber = 20261207;
    id.Version = "1.05\nData read"; // a unit's text never starts a line of its own
    unit->SetIdentity(id);
    const CliRun info = h.Run(Args({"info"}));
    EXPECT_EQ(info.Code, 0);
    EXPECT_EQ(info.Out, QStringLiteral("Application: QUORVEX Vantrel\nFirmware Version: 1.05\uFFFDData read\n"
                                       "Serial Number: 20261207\nMAC Address: 00.04.A3.01.02.0F\n"));

    const CliRun read = h.Run(Args({"read"}));
    EXPECT_EQ(read.Code, 0);
    EXPECT_EQ(read.Out, QStringLiteral("IP Address: 10.0.0.5\n"
                                       "Gateway Address: 192.168.0.1\n"
                                       "Submask: 255.255.255.0\n"
                                       "Get Address Automatically: off\n"
                                       "Device Name: Pump house\n"
                                       "Ethernet Name: ETH-PUMP-000001\n"
                                       "Port Number: 502\n"
                                       "Target IP Address: 172.0.0.9\n"
                                       "Enable Client: on\n"
                                       "Use Broadcast Address: on\n"
                                       "Update Period: 15\n"
                                       "Timeout: 30\n"
                                       "Analogue Update Hysteresis Input 1: 300\n"
                                       "Analogue Update Hysteresis Input 2: 1024\n"
                                       "Analogue Update Hysteresis Input 3: 1024\n"
                                       "Analogue Update Hysteresis Input 4: 1024\n"
                                       "Analogue Update Hysteresis Input 5: 1024\n"
                                       "Analogue Update Hysteresis Input 6: 1024\n"
                                       "Analogue Update Hysteresis Input 7: 1024\n"
                                       "Analogue Update Hysteresis Input 8: 7\n"
                                       "Invert Inputs: 1, 16\n"
                                       "Invert Outputs: none\n"
                                       "Output Start Status: 9\n"
                                       "MAC Address: 00.04.A3.01.02.0F\n"));

    // To files: the record a read gives, in either form.
    ASSERT_EQ(h.Run(Args({"read", "-o", h.Path("u.dat").toUtf8().constData()})).Code, 0);
    EXPECT_EQ(ReadFile(h.Path("u.dat")), DatBytes(unit->StoredConfig()));
    ASSERT_EQ(h.Run(Args({"read", "--output", h.Path("u.json").toUtf8().constData()})).Code, 0);
    ConfigDocument json;
    QStringList errors;
    ASSERT_TRUE(ConfigFromJson(ReadFile(h.Path("u.json")), json, errors)) << errors.join('\n').toStdString();
    EXPECT_EQ(RecordHex(json.Record), RecordHex(unit->StoredConfig()));
}

// --unit names one of several units by its path, or by its serial number,
// which costs each unit one identification request.
TEST(Cli, UnitChosenByPathOrSerialNumber)
{
    CliHarness h;
    std::vector<std::shared_ptr<SimulatedUnit>> units;
    for (int serial : {5001, 5002, 5003}) {
        units.push_back(h.AddUnit());
        SimulatedIdentity id;
        id.SerialNumber = serial;
        units.back()->SetIdentity(id);
    }
    const auto counts = [&] {
        std::vector<std::size_t> n;
        for (const auto& u : units)
            n.push_back(u->ReceivedCount());
        return n;
    };
    EXPECT_TRUE(h.Run(Args({"info", "--unit", "sim:2"})).Out.contains(S("Serial Number: 5003\n")));
    EXPECT_EQ(counts(), (std::vector<std::size_t>{0, 0, 6}));
    EXPECT_TRUE(h.Run(Args({"info", "--unit=5002"})).Out.contains(S("Serial Number: 5002\n")));
    EXPECT_EQ(counts(), (std::vector<std::size_t>{1, 7, 7}));
}

// The field names are the window's captions (an input's hysteresis: its group's and its label's).
TEST(Cli, FieldsAreNamedByTheWindowsCaptionsAndOwnEveryByteOnce)
{
    FormHarness h;
    h.Create();
    QStringList captions;
    for (const QLabel* l : h.Form->findChildren<QLabel*>())
        captions << l->text();
    for (const QCheckBox* b : h.Form->findChildren<QCheckBox*>())
        captions << b->text();
    for (const QGroupBox* g : h.Form->findChildren<QGroupBox*>()) {
        captions << g->title();
        for (const QLabel* l : g->findChildren<QLabel*>())
            captions << g->title() + QLatin1Char(' ') + l->text();
    }
    std::array<int, sizeof(ConfigRecord)> owners{};
    for (const RecordField& f : RecordFields()) {
        if (f.Kind != FieldKind::Reserved) {
            EXPECT_TRUE(captions.contains(QString::fromLatin1(f.Caption))) << f.Caption;
        }
        for (std::size_t i = 0; i < f.Size; ++i)
            owners[f.Offset + i]++;
    }
    for (std::size_t i = 0; i < owners.size(); ++i)
        EXPECT_EQ(owners[i], 1) << "record byte " << i;
}

// The table's limits are the window's: vantrel-cli refuses what the
// window's controls cannot hold, no more and no less. Every spin edit is
// some field's.
TEST(Cli, FieldLimitsAreTheWindowControlsLimits)
{
    FormHarness h;
    h.Create();
    const auto controlOf = [](const QString& caption) {
        static const QMap<QString, QString> named{{S("Device Name"), S("DeviceNameEdit")},
                                                  {S("Ethernet Name"), S("EthernetNameEdit")},
                                                  {S("Port Number"), S("ClientPortCSpinEdit")},
                                                  {S("Update Period"), S("UpdatePeriodCSpinEdit")},
                                                  {S("Timeout"), S("ServerTimeoutCSpinEdit")}};
        const QString input = S("Analogue Update Hysteresis Input ");
        if (caption.startsWith(input))
            return S("Hysteresis%1CSpinEdit").arg(caption.mid(input.size()));
        return named.value(caption);
    };
    qsizetype spins = 0;
    for (const RecordField& f : RecordFields()) {
        if (!f.Limits)
            continue;
        SCOPED_TRACE(f.Caption);
        const QString control = controlOf(QString::fromLatin1(f.Caption));
        ASSERT_FALSE(control.isEmpty());
        if (f.Kind == FieldKind::Name) {
            const QLineEdit* edit = h.Edit(control);
            ASSERT_NE(edit, nullptr);
            EXPECT_EQ(edit->maxLength(), f.Limits->Max);
        } else {
            const QSpinBox* spin = h.Spin(control);
            ASSERT_NE(spin, nullptr);
            EXPECT_EQ(spin->minimum(), f.Limits->Min);
            EXPECT_EQ(spin->maximum(), f.Limits->Max);
            ++spins;
        }
    }
    EXPECT_EQ(spins, h.Form->findChildren<QSpinBox*>().size());
}

// The session under a silent unit: a time-out drops the link (a late reply
// must not be taken for the next request's), and the interrupt flag ends a
// long wait.
TEST(UnitSession, ATimeOutDropsTheLinkAndAnInterruptEndsTheWait)
{
    SimulatedHidBackend hid;
    auto unit = std::make_shared<SimulatedUnit>();
    hid.Add(unit);
    unit->StopAnsweringAfter(1);
    const auto failureOf = [](UnitSession& session) {
        try {
            session.Read(ConfigRecord{});
        } catch (const SessionError& error) {
            return error.Kind();
        }
        return SessionFailure::NoUnit;
    };
    UnitSession session(hid, std::chrono::milliseconds(30));
    session.Connect();
    EXPECT_EQ(failureOf(session), SessionFailure::NoAnswer);
    EXPECT_FALSE(session.Connected());

    std::atomic<bool> stop{false};
    UnitSession waiting(hid, std::chrono::seconds(20), &stop);
    waiting.Connect();
    std::thread operatorPresses([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        stop = true;
    });
    EXPECT_EQ(failureOf(waiting), SessionFailure::Interrupted);
    operatorPresses.join();
}

// What the session counts as sent: each request handed to the write, one
// whose write failed too (the report may have left), none that the hook
// before it stopped; a new connection starts the count again.
TEST(UnitSession, RecordsEachRequestHandedToTheWrite)
{
    using K = RequestKind;
    const struct {
        const char* name;
        std::function<void(SimulatedUnit&)> fault = {};
        bool stopAtMac = false; // BeforeRequest throws for the MAC request
        std::vector<RequestKind> sent;
        std::size_t received; // what reached the unit
    } cases[] = {
        {.name = "sound", .sent = {K::Identify, K::MacWrite}, .received = 2},
        {.name = "the identification cannot be written", .fault = [](SimulatedUnit& u) { u.FailWrites(true); },
         .sent = {K::Identify}, .received = 0},
        {.name = "the MAC request cannot be written", .fault = [](SimulatedUnit& u) { u.FailWritesAfter(1); },
         .sent = {K::Identify, K::MacWrite}, .received = 1},
        {.name = "stopped before the MAC request", .stopAtMac = true, .sent = {K::Identify}, .received = 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimulatedHidBackend hid;
        auto unit = std::make_shared<SimulatedUnit>();
        hid.Add(unit);
        if (c.fault)
            c.fault(*unit);
        UnitSession session(hid, std::chrono::milliseconds(200));
        session.Connect();
        if (c.stopAtMac)
            session.BeforeRequest = [](const RequestStep& step) {
                if (step.Kind == K::MacWrite)
                    throw SessionError(SessionFailure::Interrupted, "Interrupted");
            };
        try {
            session.WriteMac({0x00, 0x04, 0xA3, 0x01, 0x1E, 0x0F});
        } catch (const SessionError&) {
        }
        EXPECT_EQ(session.SentRequests(), c.sent);
        EXPECT_EQ(session.Sent(K::MacWrite), c.sent.size() == 2);
        EXPECT_EQ(unit->ReceivedCount(), c.received);
        unit->FailWrites(false);
        session.Connect();
        EXPECT_TRUE(session.SentRequests().empty());
    }
}

// ---- write -------------------------------------------------------------------------------

struct WriteCase {
    const char* name;
    std::vector<const char*> options;
    std::function<void(ConfigRecord&)> change; // on SiteConfig(); null: refused
    std::vector<const char*> errors;           // the error stream's lines when refused
};

void PrintTo(const WriteCase& c, std::ostream* os)
{
    *os << c.name;
}

class CliWrite : public testing::TestWithParam<WriteCase> {};

TEST_P(CliWrite, WritesChecksAndReadsBackOrRefusesBeforeSending)
{
    const WriteCase& c = GetParam();
    CliHarness h;
    auto unit = h.AddUnit();
    WriteFile(h.Path("site.dat"), DatBytes(SiteConfig()));
    QStringList args{QStringLiteral("write"), h.Path("site.dat")};
    for (const char* o : c.options)
        args << QString::fromUtf8(o);
    const CliRun run = h.Run(args);
    if (!c.change) {
        EXPECT_EQ(run.Code, int(CliExit::Usage)) << testing::PrintToString(run);
        QStringList expected;
        for (const char* e : c.errors)
            expected << QString::fromUtf8(e);
        EXPECT_EQ(run.Err, expected.join('\n') + '\n');
        EXPECT_EQ(unit->ReceivedCount(), 0u);
        return;
    }
    ASSERT_EQ(run.Code, 0) << testing::PrintToString(run);
    EXPECT_EQ(run.Out, QStringLiteral("Download Complete: serial number 4711, read back and found the same\n"));
    ConfigRecord expected = SiteConfig();
    c.change(expected);
    EXPECT_EQ(RecordHex(unit->StoredConfig()), RecordHex(ReadBackOf(expected, ConfigRecord{})));
    const auto sent = unit->Received();
    ASSERT_EQ(sent.size(), 13u); // the write's seven requests, then the read's six
    const char letters[] = "SEdDdDZSrRrRM";
    for (std::size_t i = 0; i < sent.size(); ++i)
        EXPECT_EQ(sent[i][1], std::uint8_t(letters[i])) << i;
}

INSTANTIATE_TEST_SUITE_P(
    Table, CliWrite,
    testing::Values(
        WriteCase{"FileAsItIs", {}, [](ConfigRecord&) {}, {}},
        WriteCase{"Addresses",
                  {"--ip", "10.9.8.7", "--gateway", "10.9.8.1", "--mask", "255.255.0.0", "--target", "$0A.0x0B.12. 13"},
                  [](ConfigRecord& r) {
                      const std::uint8_t v[4][4] = {{10, 9, 8, 7}, {10, 9, 8, 1}, {255, 255, 0, 0}, {10, 11, 12, 13}};
                      std::memcpy(r.IPAddr, v[0], 4), std::memcpy(r.GateWayAddr, v[1], 4);
                      std::memcpy(r.SubMaskAddr, v[2], 4), std::memcpy(r.ClientAddr, v[3], 4);
                  },
                  {}},
        WriteCase{"EverythingElse",
                  {"--dhcp", "on", "--client", "off", "--broadcast", "off", "--device-name", "Pumpe S\xC3\xBC" "d",
                   "--ethernet-name", "ETH-SUED", "--port", "65535", "--update-period", "1", "--server-timeout", "255",
                   "--hysteresis", "2=0", "--hysteresis", "8=1024", "--invert-inputs", "none", "--invert-outputs", "all",
                   "--output-start", "16,1"},
                  [](ConfigRecord& r) {
                      r.DHCPEnable = 1, r.EnableClient = 0, r.UseBroadcast = 0;
                      StoreName(r.DeviceName, 32, 32, "Pumpe S\xFC" "d");
                      StoreName(r.EthernetName, 16, 15, "ETH-SUED");
                      r.ClientPort = 65535, r.UpdatePeriod = 1, r.ServerTimeout = 255;
                      r.Hysteresis[1] = 0, r.Hysteresis[7] = 1024;
                      std::fill(std::begin(r.InvertInputs), std::end(r.InvertInputs), 0);
                      std::fill(std::begin(r.InvertOutputs), std::end(r.InvertOutputs), 1);
                      std::fill(std::begin(r.OutputStartStatus), std::end(r.OutputStartStatus), 0);
                      r.OutputStartStatus[0] = r.OutputStartStatus[15] = 1;
                  },
                  {}},
        WriteCase{"AddressCheck",
                  {"--ip", "10.0.0", "--gateway", "10.0.0.256", "--mask", "255.x.0.0", "--target", "1.2.3.4.5"},
                  nullptr,
                  {"Invalid IP Address", "Invalid Gateway Address", "Invalid Submask", "Invalid Target Address",
                   "There are errors",
                   "--ip: '10.0.0' is not an IP address (four whole numbers from 0 to 255 separated by dots)",
                   "--gateway: '10.0.0.256' is not an IP address (four whole numbers from 0 to 255 separated by dots)",
                   "--mask: '255.x.0.0' is not a submask (four whole numbers from 0 to 255 separated by dots)",
                   "--target: '1.2.3.4.5' is not an IP address (four whole numbers from 0 to 255 separated by dots)"}},
        WriteCase{"IpUnusedWithDhcp", {"--dhcp", "on", "--ip", "10.0.0.1"}, nullptr,
                  {"The IP address is not used while \"Get Address Automatically\" is on: the unit gets its address itself"}},
        WriteCase{"TargetUnusedWithoutClient", {"--client", "off", "--target", "10.0.0.1"}, nullptr,
                  {"The target IP address is not used while \"Enable Client\" is off"}},
        WriteCase{"PortRange", {"--port", "0"}, nullptr, {"--port: '0' is not a whole number from 1 to 65535"}},
        WriteCase{"PortHuge", {"--port", "99999999999999999999"}, nullptr,
                  {"--port: '99999999999999999999' is not a whole number from 1 to 65535"}},
        WriteCase{"PeriodRange", {"--update-period", "256"}, nullptr,
                  {"--update-period: '256' is not a whole number from 1 to 255"}},
        WriteCase{"HysteresisRange", {"--hysteresis", "9=5"}, nullptr,
                  {"--hysteresis: '9=5' is not INPUT=N with INPUT from 1 to 8 and N a whole number from 0 to 1024"}},
        WriteCase{"EthernetNameLength", {"--ethernet-name", "0123456789ABCDEF"}, nullptr,
                  {"--ethernet-name: \"0123456789ABCDEF\" is longer than 15 characters"}},
        WriteCase{"NameCharacters", {"--device-name", "\xCE\xA9"}, nullptr,
                  {"--device-name: \"\xCE\xA9\" holds a character the unit's one-byte text cannot carry"}},
        WriteCase{"FlagWord", {"--dhcp", "yes"}, nullptr, {"--dhcp: 'yes' is not on or off"}},
        WriteCase{"ChannelList", {"--invert-inputs", "1,17"}, nullptr,
                  {"--invert-inputs: '17' is not a channel number from 1 to 16"}}),
    [](const auto& info) { return std::string(info.param.name); });

namespace {
// A unit whose storage changes a bit: the first block-0 reply of every
// session brings the port's low byte plus one.
class FlakyStorage final : public HidBackend {
public:
    // Only the unit at `onlyPath` when given.
    explicit FlakyStorage(SimulatedHidBackend& inner, std::string onlyPath = {})
        : inner_(inner), onlyPath_(std::move(onlyPath))
    {
    }
    std::vector<HidInterfaceInfo> Enumerate() override { return inner_.Enumerate(); }
    std::unique_ptr<HidHandle> Open(const std::string& path, HidOpenMode mode, std::string& whyNot) override
    {
        auto handle = inner_.Open(path, mode, whyNot);
        if (!handle || mode == HidOpenMode::Write || (!onlyPath_.empty() && path != onlyPath_))
            return handle;
        return std::make_unique<Reader>(std::move(handle));
    }

private:
    class Reader final : public HidHandle {
    public:
        explicit Reader(std::unique_ptr<HidHandle> inner) : inner_(std::move(inner)) {}
        int ReadReport(std::uint8_t* buffer, std::size_t size, int timeoutMs) override
        {
            const int n = inner_->ReadReport(buffer, size, timeoutMs);
            if (n > 38 && buffer[1] == 'r' && !changed_) {
                changed_ = true;
                buffer[38]++;
            }
            return n;
        }
        void InterruptRead() override { inner_->InterruptRead(); }
        bool WriteReport(const std::uint8_t* report, std::size_t size) override
        {
            return inner_->WriteReport(report, size);
        }

    private:
        std::unique_ptr<HidHandle> inner_;
        bool changed_ = false;
    };
    SimulatedHidBackend& inner_;
    std::string onlyPath_;
};
} // namespace

TEST(Cli, AReadBackThatDiffersFailsTheCheckFieldByField)
{
    CliHarness h;
    h.AddUnit();
    WriteFile(h.Path("site.dat"), DatBytes(SiteConfig()));
    FlakyStorage flaky(h.Backend);
    CliRun run;
    QTextStream out(&run.Out), err(&run.Err);
    CliContext context{flaky, out, err, h.MacFile};
    run.Code = RunCli({QStringLiteral("write"), h.Path("site.dat")}, context);
    EXPECT_EQ(run.Code, int(CliExit::CheckFailed));
    EXPECT_EQ(run.Err, QStringLiteral("The unit does not give back what was written (written | read back):\n"
                                      "Port Number: 503 | 504\n"));
}

TEST(Cli, WriteRefusesFileValuesNoControlCanHoldAndWarnsOfALongDeviceName)
{
    CliHarness h;
    auto unit = h.AddUnit();
    ConfigRecord r = SiteConfig();
    r.Hysteresis[2] = 2000;
    r.ClientPort = 0;
    r.ServerTimeout = 0;
    std::memcpy(r.EthernetName, "0123456789ABCDEF", 16);
    WriteFile(h.Path("wide.dat"), DatBytes(r));
    const CliRun refused = h.Run({QStringLiteral("write"), h.Path("wide.dat")});
    EXPECT_EQ(refused.Code, int(CliExit::BadFile));
    const QString file = h.Path("wide.dat") + QStringLiteral(": ");
    const QString window = QStringLiteral(" (what the window allows)\n");
    EXPECT_EQ(refused.Err,
              file + "ethernetName (Ethernet Name): \"0123456789ABCDEF\" is longer than 15 characters" + window + file
                  + "portNumber (Port Number): 0 is not a whole number from 1 to 65535" + window + file
                  + "timeout (Timeout): 0 is not a whole number from 1 to 255" + window + file
                  + "hysteresis[2] (Analogue Update Hysteresis Input 3): 2000 is not a whole number from 0 to 1024"
                  + window);
    EXPECT_EQ(unit->ReceivedCount(), 0u);

    // A flag byte of 2 goes out as on; 32 characters of device name as the first 31.
    r = SiteConfig();
    r.UseBroadcast = 2;
    std::memcpy(r.DeviceName, "0123456789ABCDEF0123456789ABCDEF", 32);
    WriteFile(h.Path("long.dat"), DatBytes(r));
    const CliRun written = h.Run({QStringLiteral("write"), h.Path("long.dat")});
    EXPECT_EQ(written.Code, 0) << testing::PrintToString(written);
    EXPECT_EQ(written.Err, QStringLiteral("Device Name: the unit keeps its first 31 characters\n"));
    EXPECT_EQ(LoadName(unit->StoredConfig().DeviceName, 32), "0123456789ABCDEF0123456789ABCDE");
    EXPECT_EQ(unit->StoredConfig().UseBroadcast, 1);
}

// ---- mac -------------------------------------------------------------------------------

struct MacCase {
    const char* name;
    QByteArray file;
    std::vector<const char*> args;
    CliExit code;
    std::array<std::uint8_t, 6> sent; // what the unit has afterwards
    QByteArray fileAfter;             // empty: unchanged
    const char* message = "";         // first line of the error stream
};

void PrintTo(const MacCase& c, std::ostream* os)
{
    *os << c.name;
}

class CliMac : public testing::TestWithParam<MacCase> {};

TEST_P(CliMac, SendsTheAddressAndSpendsItOnceItMayHaveReachedTheUnit)
{
    const MacCase& c = GetParam();
    CliHarness h;
    auto unit = h.AddUnit();
    if (std::strcmp(c.name, "SilentUnit") == 0)
        unit->StopAnsweringAfter(1);
    WriteFile(h.MacFile, c.file);
    QStringList args{QStringLiteral("mac")};
    for (const char* a : c.args)
        args << QString::fromLatin1(a);
    args << QStringLiteral("--timeout") << QStringLiteral("100");
    const CliRun run = h.Run(args);
    EXPECT_EQ(run.Code, int(c.code)) << testing::PrintToString(run);
    EXPECT_EQ(unit->Mac(), c.sent);
    EXPECT_EQ(ReadFile(h.MacFile), c.fileAfter.isEmpty() ? c.file : c.fileAfter);
    EXPECT_EQ(run.Err.section(QLatin1Char('\n'), 0, 0), QString::fromUtf8(c.message)) << testing::PrintToString(run);
    if (c.code == CliExit::BadFile || c.code == CliExit::Usage) {
        EXPECT_EQ(unit->ReceivedCount(), 0u);
    }
}

namespace {
const QByteArray kSixLines = "0F\r\n1E\r\n2D\r\n3C\r\n4B\r\n5A\r\n";

// Another program holds the allocation file, or the record, for longer
// than the wait: nothing is sent and neither file changes.
TEST(CliSharedFiles, HeldByAnotherProgramNothingIsSent)
{
    for (const char* held : {"SetFullMACAddress.txt", "record.csv"}) {
        CliHarness h;
        const auto unit = h.AddUnit();
        Site(h);
        WriteFile(h.MacFile, kSixLines);
        QLockFile other(h.Path(held) + QStringLiteral(".lock"));
        ASSERT_TRUE(other.tryLock(0));
        const CliRun run = QString::fromLatin1(held).endsWith(QStringLiteral(".csv"))
                               ? h.Run({S("commission"), S("--config"), h.Path("site.dat"), S("--ip-from"),
                                        S("10.1.2.30"), S("--record"), h.Path("record.csv")})
                               : h.Run({S("mac"), S("--next")});
        EXPECT_EQ(run.Code, int(CliExit::Locked)) << held << testing::PrintToString(run);
        EXPECT_TRUE(run.Err.contains(S("another program holds it"))) << held << testing::PrintToString(run);
        EXPECT_TRUE(unit->Received().empty()) << held;
        EXPECT_EQ(ReadFile(h.MacFile), kSixLines) << held;
        EXPECT_FALSE(QFile::exists(h.Path("record.csv"))) << held;
    }
}
constexpr std::array<std::uint8_t, 6> kFactoryMac{0x00, 0x04, 0xA3, 0x01, 0x02, 0x0F};
} // namespace

INSTANTIATE_TEST_SUITE_P(
    Table, CliMac,
    testing::Values(
        MacCase{"GivenOctets", kSixLines, {"2b", "7C"}, CliExit::Success, {0x5A, 0x4B, 0x3C, 0x2D, 0x2B, 0x7C}, {}},
        MacCase{"Next", kSixLines, {"--next"}, CliExit::Success, {0x5A, 0x4B, 0x3C, 0x2D, 0x1E, 0x0F},
                "10\r\n1E\r\n2D\r\n3C\r\n4B\r\n5A\r\n"},
        MacCase{"NextCarriesKeepsCaseAndWhatFollows", "ff last\n0a fifth\n2D\n3C\n4B\n5A\nseven \xFF\n",
                {"--next"}, CliExit::Success, {0x5A, 0x4B, 0x3C, 0x2D, 0x0A, 0xFF},
                "00 last\r\n0b fifth\r\n2D\r\n3C\r\n4B\r\n5A\r\nseven \xFF\r\n"},
        MacCase{"NextInUtf16", Raw("\xFF\xFE" "F\0F\0\r\0\n\0" "0\0" "1\0\r\0\n\0" "2\0D\0\n\0" "3\0C\0\n\0"
                                   "4\0B\0\n\0" "5\0A\0\n\0"),
                {"--next"}, CliExit::Success, {0x5A, 0x4B, 0x3C, 0x2D, 0x01, 0xFF},
                Raw("\xFF\xFE" "0\0" "0\0\r\0\n\0" "0\0" "2\0\r\0\n\0" "2\0D\0\r\0\n\0" "3\0C\0\r\0\n\0"
                    "4\0B\0\r\0\n\0" "5\0A\0\r\0\n\0")},
        MacCase{"NoneAfterFFFF", "FF\nFF\n2D\n3C\n4B\n5A\n", {"--next"}, CliExit::BadFile, kFactoryMac, {},
                "MAC allocation file: lines 2 and 1 hold FF FF, the last address; there is none after it, so nothing "
                "was sent"},
        MacCase{"FileThatWouldNotReadBack", Raw("\xFF\xFE" "0\0" "1\0\n\0" "0\0" "2\0\n\0" "2\0D\0\n\0"
                                                "3\0C\0\n\0" "4\0B\0\n\0" "5\0A\0\n\0" "x"),
                {"--next"}, CliExit::BadFile, kFactoryMac, {},
                "MAC allocation file not written: it would not read back exactly, so nothing was sent"},
        MacCase{"FewerThanSixLines", "0F\n1E\n2D\n3C\n4B\n", {"--next"}, CliExit::BadFile, kFactoryMac, {},
                "MAC allocation file has fewer than 6 lines"},
        MacCase{"InvalidLine", "0F\n1E\n2D\nG1\n4B\n5A\n", {"01", "02"}, CliExit::BadFile, kFactoryMac, {},
                "Invalid MAC octet: 'G1'"},
        MacCase{"InvalidNextLine", "0F\nx1\n2D\n3C\n4B\n5A\n", {"--next"}, CliExit::BadFile, kFactoryMac, {},
                "Invalid MAC octet: 'x1'"},
        MacCase{"InvalidGivenOctet", kSixLines, {"01", "0F5"}, CliExit::Usage, kFactoryMac, {},
                "Invalid MAC octet: '0F5'"},
        MacCase{"NextWithOctets", kSixLines, {"--next", "01"}, CliExit::Usage, kFactoryMac, {},
                "vantrel-cli mac: --next takes no octets"},
        // The request went out: the address is spent, confirmed or not.
        MacCase{"SilentUnit", kSixLines, {"--next"}, CliExit::NoAnswer, kFactoryMac,
                "10\r\n1E\r\n2D\r\n3C\r\n4B\r\n5A\r\n", "QUORVEX did not answer within 100 ms"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- diff and convert ------------------------------------------------------------------------

TEST(Cli, DiffNamesEachDifferingFieldFilesAndTheUnit)
{
    CliHarness h;
    h.AddUnit();
    ConfigRecord other = SiteConfig();
    other.ClientPort = 504;
    other.Reserved85[1] = 7;
    other.InvertInputs[2] = 1;
    StoreName(other.EthernetName, 16, 16, "ETH-7");
    other.EthernetName[10] = 'x'; // after the name's end
    WriteFile(h.Path("site.dat"), DatBytes(SiteConfig()));
    WriteFile(h.Path("other.dat"), DatBytes(other));
    ASSERT_EQ(h.Run({QStringLiteral("convert"), h.Path("other.dat"), h.Path("other.json")}).Code, 0);

    const CliRun same = h.Run({QStringLiteral("diff"), h.Path("site.dat"), h.Path("site.dat")});
    EXPECT_EQ(same.Code, 0);
    EXPECT_EQ(same.Out, QStringLiteral("No differences\n"));
    const CliRun files = h.Run({QStringLiteral("diff"), h.Path("site.dat"), h.Path("other.json")});
    EXPECT_EQ(files.Code, int(CliExit::CheckFailed));
    EXPECT_EQ(files.Out.section('\n', 1),
              QStringLiteral("Ethernet Name: ETH-7 [45 54 48 2D 37 00 00 00 00 00 00 00 00 00 00 00] | "
                             "ETH-7 [45 54 48 2D 37 00 00 00 00 00 78 00 00 00 00 00]\n"
                             "Port Number: 503 | 504\n"
                             "Invert Inputs: 1, 16 | 1, 3, 16\n"
                             "Reserved bytes 85 to 87: 00 00 00 | 00 07 00\n"));

    // Against the unit, a file is what the unit would hold once it is written.
    const CliRun before = h.Run({QStringLiteral("diff"), QStringLiteral("unit"), h.Path("site.dat")});
    EXPECT_EQ(before.Code, int(CliExit::CheckFailed));
    EXPECT_TRUE(before.Out.contains(QStringLiteral("\nPort Number: 502 | 503\n"))) << before.Out.toStdString();
    ASSERT_EQ(h.Run({QStringLiteral("write"), h.Path("other.dat")}).Code, 0);
    const CliRun after = h.Run({QStringLiteral("diff"), h.Path("other.json"), QStringLiteral("unit")});
    EXPECT_EQ(after.Code, 0) << testing::PrintToString(after);
}

struct BadFileCase {
    const char* name;
    const char* file;   // in the test's folder
    QByteArray content;
    const char* message; // after "<path>: "
};

void PrintTo(const BadFileCase& c, std::ostream* os)
{
    *os << c.name;
}

class CliBadFile : public testing::TestWithParam<BadFileCase> {};

// Nothing is written: neither the converted file nor the unit.
TEST_P(CliBadFile, IsRefusedWithAClearMessageAndNothingWritten)
{
    const BadFileCase& c = GetParam();
    CliHarness h;
    auto unit = h.AddUnit();
    const QString path = h.Path(c.file);
    WriteFile(path, c.content);
    WriteFile(h.Path("kept.dat"), "an earlier file");
    const QString other = path.endsWith(QStringLiteral(".json")) ? h.Path("kept.dat") : h.Path("new.json");
    for (const QStringList& args : {QStringList{QStringLiteral("convert"), path, other},
                                    QStringList{QStringLiteral("write"), path},
                                    QStringList{QStringLiteral("diff"), path, QStringLiteral("unit")}}) {
        const CliRun run = h.Run(args);
        EXPECT_EQ(run.Code, int(CliExit::BadFile)) << args.join(' ').toStdString();
        EXPECT_EQ(run.Err.section('\n', 0, 0), path + QStringLiteral(": ") + QString::fromUtf8(c.message))
            << testing::PrintToString(run);
    }
    EXPECT_EQ(ReadFile(h.Path("kept.dat")), QByteArray("an earlier file"));
    EXPECT_FALSE(QFile::exists(h.Path("new.json")));
    EXPECT_EQ(unit->ReceivedCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CliBadFile,
    testing::Values(
        BadFileCase{"ForeignDat", "a.dat", QByteArray(196, 'x'), "Incompatible data file."},
        BadFileCase{"LaterDat", "a.dat", DatBytes(SiteConfig(), {2, {}}), "The file uses a later data format. Cannot load"},
        BadFileCase{"ShortDat", "a.dat", DatBytes(SiteConfig()).left(195), "too short for a data file (195 bytes of 196)"},
        BadFileCase{"NotJson", "a.json", "{\"ipAddress\": ", "not valid JSON: unterminated object at byte 14"},
        BadFileCase{"JsonArray", "a.json", "[]",
                    "not a JSON object: the file must hold one {...} with the configuration's fields"},
        BadFileCase{"JsonField", "a.json", "{\"colour\": 1}", "colour: unknown field"},
        BadFileCase{"OtherExtension", "a.txt", "", "not a configuration file: the name must end in .dat or .json"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Convert through files, both ways -------------------------------------------------------------

TEST(Cli, ConvertKeepsTheWholeDataFileAndTheJsonText)
{
    CliHarness h;
    DataFileImage file;
    std::mt19937 random(7);
    for (auto& b : file)
        b = std::uint8_t(random());
    std::memcpy(file.data() + 4, kProgramName, sizeof kProgramName);
    const std::int32_t version = -5;
    std::memcpy(file.data(), &version, 4);
    QByteArray bytes(reinterpret_cast<const char*>(file.data()), qsizetype(file.size()));
    WriteFile(h.Path("odd.dat"), bytes + "bytes after the file");
    ASSERT_EQ(h.Run({QStringLiteral("convert"), h.Path("odd.dat"), h.Path("odd.json")}).Code, 0);
    ASSERT_EQ(h.Run({QStringLiteral("convert"), h.Path("odd.json"), h.Path("back.DAT")}).Code, 0);
    EXPECT_EQ(ReadFile(h.Path("back.DAT")), bytes);
    ASSERT_EQ(h.Run({QStringLiteral("convert"), h.Path("back.DAT"), h.Path("back.json")}).Code, 0);
    EXPECT_EQ(ReadFile(h.Path("back.json")), ReadFile(h.Path("odd.json")));
    const CliRun unwritable = h.Run({QStringLiteral("convert"), h.Path("odd.json"), h.Path("no/such/folder/x.dat")});
    EXPECT_EQ(unwritable.Code, int(CliExit::Failure));
    EXPECT_TRUE(unwritable.Err.startsWith(QStringLiteral("Cannot write ") + h.Path("no/such/folder/x.dat")));
}

// ---- One protocol, two drivers -------------------------------------------------------------------

// The same exchanges through the window (its buttons) and through the CLI,
// each a fresh process, against two units that start alike: the units
// receive the very same requests, byte for byte, leftovers in the output
// buffer included.
TEST(OneProtocol, TheWindowAndTheCliSendTheSameBytes)
{
    auto windowUnit = std::make_shared<SimulatedUnit>();
    auto cliUnit = std::make_shared<SimulatedUnit>();
    for (const auto& unit : {windowUnit, cliUnit})
        unit->StoreConfig(SampleUnitConfig());
    CliHarness cli;
    cli.Backend.Add(cliUnit);
    ConfigRecord site = SiteConfig();
    site.DeviceName[30] = 'z'; // after the name's end, yet sent
    site.Reserved51 = 0x51;    // never sent
    WriteFile(cli.Path("site.dat"), DatBytes(site));
    WriteFile(cli.MacFile, kSixLines);

    const auto window = [&](const std::function<void(UnitHarness&)>& press) {
        UnitHarness h;
        h.Backend.Add(windowUnit);
        WriteFile(h.Paths.MacAllocationFile, kSixLines);
        h.Create();
        press(h);
    };
    const auto click = [](UnitHarness& h, const char* button, const char* box) {
        const std::size_t shown = h.Dialogs.Boxes.size();
        h.Click(S(button));
        ASSERT_TRUE(WaitUntil([&] { return h.Dialogs.Boxes.size() > shown; }));
        EXPECT_EQ(h.Dialogs.Boxes.back().Text, S(box));
    };
    const auto read = [&](UnitHarness& h) { click(h, "ReadButton", "Read Complete"); };
    const auto writeFile = [&](UnitHarness& h) {
        h.Dialogs.FileNames.push_back(cli.Path("site.dat"));
        h.Click(S("LoadButton"));
        click(h, "WriteButton", "Download Complete");
        click(h, "ReadButton", "Read Complete"); // the CLI reads back in the same session
    };
    const auto sendMac = [&](UnitHarness& h) { click(h, "SendNewMACButton", "Download Complete"); };
    // commission's three exchanges in one session, as three presses in one window.
    const auto commission = [&](UnitHarness& h) {
        h.Dialogs.FileNames.push_back(cli.Path("site.dat"));
        h.Click(S("LoadButton"));
        click(h, "WriteButton", "Download Complete");
        sendMac(h);
        read(h);
        WriteFile(cli.MacFile, kSixLines); // the address the window's fields hold
    };
    cli.Sleep = [&](std::chrono::milliseconds) { cliUnit->Unplug(); }; // once commissioned

    const struct {
        const char* name;
        std::function<void(UnitHarness&)> window;
        QStringList cli;
    } steps[] = {
        {"read", read, {S("read")}},
        {"write", writeFile, {S("write"), cli.Path("site.dat")}},
        {"read again", read, {S("read")}},
        {"MAC", sendMac, {S("mac"), S("1E"), S("0F")}},
        {"next MAC", sendMac, {S("mac"), S("--next")}},
        {"commission",
         commission,
         {S("commission"), S("--config"), cli.Path("site.dat"), S("--ip-from"), S("10.1.2.77"), S("--count"), S("1"),
          S("--mac-next"), S("--record"), cli.Path("bench.csv")}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        window(step.window);
        const CliRun run = cli.Run(step.cli);
        ASSERT_EQ(run.Code, 0) << testing::PrintToString(run);
        const auto byWindow = windowUnit->Received();
        const auto byCli = cliUnit->Received();
        ASSERT_EQ(byCli.size(), byWindow.size());
        for (std::size_t i = 0; i < byCli.size(); ++i)
            EXPECT_EQ(Hex(byCli[i]), Hex(byWindow[i])) << "request " << i;
    }
    EXPECT_EQ(windowUnit->ReceivedCount(), 6u + 13u + 6u + 2u + 2u + 15u);
    EXPECT_EQ(RecordHex(cliUnit->StoredConfig()), RecordHex(windowUnit->StoredConfig()));
    EXPECT_EQ(cliUnit->Mac(), windowUnit->Mac());
}

// ---- commission ----------------------------------------------------------------------------

namespace {
// Unit 1 of a bench session goes wrong in one way; unit 2 is sound. Every
// unit answers 15 requests: the write 1 to 7 (the erase is 2), the MAC
// address 8 and 9, the read-back 10 to 15.
struct CommissionCase {
    std::string name;
    std::function<void(SimulatedUnit&)> fault;
    std::string line1; // unit 1's record line after the time
    std::string line2; // unit 2's; empty: the run ended before it
    CliExit code = CliExit::Success;
    int macsTaken = 0; // how far the MAC allocation file advanced
    std::optional<std::size_t> interruptAtRequest = {}; // Ctrl-C while waiting for this reply
    int interruptAtSleep = 0;                           // Ctrl-C in the n-th wait for the operator
    bool flakyUnit1 = false;                            // its read-back differs from what was written
    const char* timeout = "10000";
};

void PrintTo(const CommissionCase& c, std::ostream* os)
{
    *os << c.name;
}

void Change(SimulatedUnit& unit, const std::function<void(SimulatedIdentity&)>& change)
{
    SimulatedIdentity id = unit.Identity();
    change(id);
    unit.SetIdentity(id);
}

// A unit's last line after the time, without the columns every line has
// alike: "serial,version,MAC,IP,result,MAC state".
const char kUnit2Takes30[] = "1002,1.05,00.04.A3.01.1E.0F,10.1.2.30,commissioned,confirmed";
const char kUnit2Takes31[] = "1002,1.05,00.04.A3.01.1E.0F,10.1.2.31,commissioned,confirmed";

std::vector<CommissionCase> CommissionCases()
{
    std::vector<CommissionCase> cases{
        {"Sound", nullptr, "1001,1.05,00.04.A3.01.1E.0F,10.1.2.30,commissioned,confirmed",
         "1002,1.05,00.04.A3.01.1E.10,10.1.2.31,commissioned,confirmed", CliExit::Success, 2},
        {"ProgramMode", [](SimulatedUnit& u) { Change(u, [](SimulatedIdentity& id) { id.HardwareId = "HID\\VID_04D8&PID_FD37&REV_0001"; }); },
         ",,,,program mode,", kUnit2Takes30, CliExit::Success, 1},
        {"WrongApplication", [](SimulatedUnit& u) { Change(u, [](SimulatedIdentity& id) { id.ApplicationCode = {0, 1, 6}; }); },
         ",,,,not a QUORVEX Vantrel,", kUnit2Takes30, CliExit::Success, 1},
        {"NoAccessStops", [](SimulatedUnit& u) { u.FailOpens(HidOpenMode::Write); }, ",,,,cannot be opened,", "",
         CliExit::NoAccess},
        {"PulledAtIdentification", [](SimulatedUnit& u) { u.UnplugAfter(0); }, ",,,,unplugged during the write,",
         kUnit2Takes30, CliExit::Success, 1},
        // The MAC address reserved for unit 1 never left the tool: back in the file, for unit 2.
        {"PulledAtTheErase", [](SimulatedUnit& u) { u.UnplugAfter(1); },
         "1001,1.05,00.04.A3.01.1E.0F,10.1.2.30,unplugged during the write,unused", kUnit2Takes31, CliExit::Success, 1},
        // The request went out; whether the unit took it is not known: spent.
        {"PulledAtTheMac", [](SimulatedUnit& u) { u.UnplugAfter(8); },
         "1001,1.05,00.04.A3.01.1E.0F,10.1.2.30,unplugged during the MAC address,unconfirmed",
         "1002,1.05,00.04.A3.01.1E.10,10.1.2.31,commissioned,confirmed", CliExit::Success, 2},
        {"ConfirmationLost", [](SimulatedUnit& u) { u.LoseRepliesAfter(8); },
         "1001,1.05,00.04.A3.01.1E.0F,10.1.2.30,no answer during the MAC address,unconfirmed",
         "1002,1.05,00.04.A3.01.1E.10,10.1.2.31,commissioned,confirmed", CliExit::Success, 2, {}, 0, false, "100"},
        {"PulledMidReadBack", [](SimulatedUnit& u) { u.UnplugAfter(12); },
         "1001,1.05,00.04.A3.01.1E.0F,10.1.2.30,unplugged during the read-back,confirmed",
         "1002,1.05,00.04.A3.01.1E.10,10.1.2.31,commissioned,confirmed", CliExit::Success, 2},
        {"SilentMidWrite", [](SimulatedUnit& u) { u.StopAnsweringAfter(5); },
         "1001,1.05,00.04.A3.01.1E.0F,10.1.2.30,no answer during the write,unused", kUnit2Takes31, CliExit::Success, 1,
         {}, 0, false, "100"},
        {"CheckFailed", nullptr, "1001,1.05,00.04.A3.01.1E.0F,10.1.2.30,check failed: Port Number,confirmed",
         "1002,1.05,00.04.A3.01.1E.10,10.1.2.31,commissioned,confirmed", CliExit::Success, 2, {}, 0, true},
        {"InterruptedWaitingForTheUnit", nullptr, "", "", CliExit::Interrupted, 0, {}, 1},
        {"InterruptedWaitingForItToGo", nullptr, "1001,1.05,00.04.A3.01.1E.0F,10.1.2.30,commissioned,confirmed", "",
         CliExit::Interrupted, 1, {}, 2},
    };
    // Ctrl-C while the tool waits for the reply to each request in turn
    // (the unit answers those before it and then no more).
    for (std::size_t request = 1; request <= 15; ++request) {
        const bool claimed = request > 1;  // its line before the erase is in the record
        const bool macSent = request > 8;  // the MAC address request went out
        const char* stage = request <= 7 ? "the write" : request <= 9 ? "the MAC address" : "the read-back";
        const char* state = request <= 8 ? "unused" : request == 9 ? "unconfirmed" : "confirmed";
        cases.push_back({"InterruptedAtRequest" + std::to_string(request),
                         [request](SimulatedUnit& u) { u.StopAnsweringAfter(request - 1); },
                         claimed ? std::string("1001,1.05,00.04.A3.01.1E.0F,10.1.2.30,interrupted during ") + stage
                                       + "," + state
                                 : std::string(",,,,interrupted during the write,"),
                         "", CliExit::Interrupted, macSent ? 1 : 0, request});
    }
    return cases;
}

// The record as the case expects it: for a unit that got as far as its
// erase, its line from before the erase, then its last line; each with the
// time and the columns every line has alike.
QByteArray ExpectedRecord(const CommissionCase& c)
{
    ConfigRecord site = SiteConfig();
    const QByteArray sha = QCryptographicHash::hash(QByteArray(reinterpret_cast<const char*>(&site), sizeof site),
                                                    QCryptographicHash::Sha256)
                               .toHex();
    const QByteArray trace = ",1.0,bench-1,site.json," + sha + "\r\n";
    const QByteArray time = "2026-12-07T10:00:00+01:00,";
    QByteArray record;
    for (const std::string& line : {c.line1, c.line2}) {
        if (line.empty())
            continue;
        const QList<QByteArray> fields = QByteArray::fromStdString(line).split(',');
        if (!fields[3].isEmpty())
            record += time + fields[0] + ',' + fields[1] + ',' + fields[2] + ',' + fields[3] + ",in progress,reserved" + trace;
        record += time + QByteArray::fromStdString(line) + trace;
    }
    return record.isEmpty() ? QByteArray("<missing>") : kCommissionHeader + record; // a record starts with its first line
}

class CliCommission : public testing::TestWithParam<CommissionCase> {};
} // namespace

TEST_P(CliCommission, RecordsEachUnitWholeAndGoesOnOrStopsCleanly)
{
    const CommissionCase& c = GetParam();
    CliHarness h;
    std::vector<std::shared_ptr<SimulatedUnit>> units;
    for (int serial : {1001, 1002}) {
        units.push_back(h.AddUnit());
        Change(*units.back(), [serial](SimulatedIdentity& id) { id.SerialNumber = serial; });
        units.back()->Unplug();
    }
    FlakyStorage flaky(h.Backend, "sim:0");
    if (c.flakyUnit1)
        h.Hid = &flaky;
    // The operator: plugs the next unit in when the tool waits for one and
    // pulls it when the tool waits for it to go.
    std::size_t next = 0;
    int sleeps = 0;
    h.Sleep = [&](std::chrono::milliseconds) {
        if (++sleeps == c.interruptAtSleep)
            h.Interrupt = true;
        else if (next > 0 && units[next - 1]->IsPlugged())
            units[next - 1]->Unplug();
        else if (next < units.size()) {
            units[next++]->PlugIn();
            if (next == 1 && c.fault) // plugging in clears a fault: it comes with the unit
                c.fault(*units[0]);
        } else
            h.Interrupt = true; // nothing left to plug in: end rather than wait for ever
    };
    std::atomic<bool> finished{false};
    std::thread ctrlC([&] {
        while (c.interruptAtRequest && !finished && units[0]->ReceivedCount() < *c.interruptAtRequest)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (c.interruptAtRequest)
            h.Interrupt = true;
    });
    const QByteArray macFile = Raw("0F\r\n1E\r\n01\r\nA3\r\n04\r\n00\r\n");
    WriteFile(h.MacFile, macFile);
    WriteFile(h.Path("site.json"), ConfigToJson(ConfigDocument{SiteConfig(), {}}));
    // --count is of units commissioned: as many as the case expects.
    int count = 0;
    for (const std::string& line : {c.line1, c.line2})
        count += line.find(",commissioned,") != std::string::npos;
    if (c.code != CliExit::Success)
        count = 2;
    const CliRun run = h.Run({QStringLiteral("commission"), QStringLiteral("--config"), h.Path("site.json"),
                              QStringLiteral("--ip-from"), QStringLiteral("10.1.2.30"), QStringLiteral("--count"),
                              QString::number(count), QStringLiteral("--mac-next"), QStringLiteral("--record"),
                              h.Path("bench.csv"), QStringLiteral("--timeout"), QString::fromLatin1(c.timeout)});
    finished = true;
    ctrlC.join();

    EXPECT_EQ(run.Code, int(c.code)) << testing::PrintToString(run);
    // Whole lines only, after a fault as after a clean run.
    EXPECT_EQ(ReadFile(h.Path("bench.csv")), ExpectedRecord(c)) << testing::PrintToString(run);
    const char* octet6[] = {"0F", "10", "11"};
    EXPECT_EQ(ReadFile(h.MacFile), QByteArray(macFile).replace(0, 2, octet6[c.macsTaken]));
    if (!c.line2.empty()) {
        const std::uint8_t last = c.line2.find(".30,") != std::string::npos ? 30 : 31;
        const ConfigRecord stored = units[1]->StoredConfig();
        EXPECT_EQ(std::vector<int>(std::begin(stored.IPAddr), std::end(stored.IPAddr)), std::vector<int>({10, 1, 2, last}));
    }
    if (c.code == CliExit::Interrupted) {
        const QString told = c.interruptAtSleep == 1   ? QStringLiteral("Interrupted while waiting for unit 1;")
                             : c.interruptAtSleep == 2 ? QStringLiteral("Interrupted while waiting for unit 1 to be unplugged;")
                             : c.line1.starts_with("1001") ? QStringLiteral("Interrupted: unit 1 (serial number 1001)")
                                                           : QStringLiteral("Interrupted: unit 1 was");
        EXPECT_TRUE(run.Err.startsWith(told)) << testing::PrintToString(run);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, CliCommission, testing::ValuesIn(CommissionCases()),
                         [](const auto& info) { return info.param.name; });

TEST(CommissionRecord, FieldsAreQuotedAndTheUnitsTextNeverRunsAsAFormula)
{
    const auto entry = [](const char* serial, const char* version, const char* mac, const char* ip, const char* result) {
        CommissionEntry e;
        e.Time = "T", e.SerialNumber = serial, e.FirmwareVersion = version, e.MacAddress = mac, e.IpAddress = ip;
        e.Result = result;
        return e;
    };
    const struct {
        CommissionEntry entry;
        const char* line;
    } cases[] = {
        {entry("4711", "1.05", "00.04.A3.01.1E.0F", "10.0.0.5", "commissioned"),
         "T,4711,1.05,00.04.A3.01.1E.0F,10.0.0.5,commissioned\r\n"},
        {entry("-3", "v \"2\", beta", "", "", "check failed: IP Address; Device Name"),
         "T,-3,\"v \"\"2\"\", beta\",,,check failed: IP Address; Device Name\r\n"},
        {entry("", "=HYPERLINK(\"x\")", "", "", "r"), "T,,\"'=HYPERLINK(\"\"x\"\")\",,,r\r\n"},
        {entry("", " 1.0\n", "", "", "r"), "T,,\" 1.0\n\",,,r\r\n"},
        {entry("", "@1", "", "", "r"), "T,,'@1,,,r\r\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CommissionLine(c.entry, RecordFormat::SixColumns), c.line);
        // The same line parses back into its fields (the version as written).
        const std::vector<CsvRecord> parsed = ParseCsv(QByteArray::fromStdString(CommissionLine(c.entry)), 7);
        ASSERT_EQ(parsed.size(), 1u);
        EXPECT_EQ(parsed[0].Line, 7);
        ASSERT_EQ(parsed[0].Fields.size(), 11u);
        EXPECT_EQ(parsed[0].Fields[5], c.entry.Result);
    }
}

// A record that exists is appended to, after a line break its last line
// lacked; the header is only for a new record.
TEST(CliCommission, AppendsToARecordThatExists)
{
    CliHarness h;
    auto unit = h.AddUnit();
    h.Sleep = [&](std::chrono::milliseconds) { unit->Unplug(); };
    WriteFile(h.Path("site.dat"), DatBytes(SiteConfig()));
    // A record from before the last five columns keeps its six.
    const QByteArray before = QByteArray(kCommissionHeaderSixColumns) + "yesterday,,,,10.1.2.8,typed by hand";
    WriteFile(h.Path("bench.csv"), before);
    const CliRun run = h.Run({S("commission"), S("--config"), h.Path("site.dat"), S("--ip-from"), S("10.1.2.9"),
                              S("--count"), S("1"), S("--record"), h.Path("bench.csv")});
    EXPECT_EQ(run.Code, 0) << testing::PrintToString(run);
    EXPECT_EQ(ReadFile(h.Path("bench.csv")), before + "\r\n"
                                             "2026-12-07T10:00:00+01:00,4711,1.05,,10.1.2.9,in progress\r\n"
                                             "2026-12-07T10:00:00+01:00,4711,1.05,00.04.A3.01.02.0F,10.1.2.9,commissioned\r\n");
}

namespace {
// A unit the device list shows that leaves as it is opened: the first open
// of `path` finds it gone.
class LeavesOnOpen final : public HidBackend {
public:
    LeavesOnOpen(SimulatedHidBackend& inner, std::shared_ptr<SimulatedUnit> unit, std::string path)
        : inner_(inner), unit_(std::move(unit)), path_(std::move(path))
    {
    }
    std::vector<HidInterfaceInfo> Enumerate() override { return inner_.Enumerate(); }
    std::unique_ptr<HidHandle> Open(const std::string& path, HidOpenMode mode, std::string& whyNot) override
    {
        if (path == path_ && !left_.exchange(true))
            unit_->Unplug();
        return inner_.Open(path, mode, whyNot);
    }

private:
    SimulatedHidBackend& inner_;
    std::shared_ptr<SimulatedUnit> unit_;
    std::string path_;
    std::atomic<bool> left_{false};
};
} // namespace

// A unit gone between the device list and its open was never touched: not
// a unit that cannot be opened (which would stop the bench), nothing
// reserved or recorded for it; its IP address and MAC address go to the
// next unit, under its number.
TEST(CliCommission, AUnitGoneBeforeItCouldBeOpenedLeavesItsAddressesToTheNext)
{
    for (const bool parallel : {false, true}) {
        SCOPED_TRACE(parallel ? "--parallel" : "one after another");
        CliHarness h;
        std::vector<std::shared_ptr<SimulatedUnit>> units;
        for (int serial : {1001, 1002}) {
            units.push_back(h.AddUnit());
            Change(*units.back(), [serial](SimulatedIdentity& id) { id.SerialNumber = serial; });
        }
        LeavesOnOpen leaving(h.Backend, units[0], "sim:0");
        h.Hid = &leaving;
        if (!parallel) // the second unit comes once the first has gone
            units[1]->Unplug();
        bool pluggedIn = false; // one after another: plugged in when waited for, pulled when asked
        h.Sleep = [&](std::chrono::milliseconds) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            if (!parallel && !std::exchange(pluggedIn, true))
                units[1]->PlugIn();
            else if (!parallel)
                units[1]->Unplug();
        };
        const QByteArray macFile = Raw("0F\r\n1E\r\n01\r\nA3\r\n04\r\n00\r\n");
        WriteFile(h.MacFile, macFile);
        WriteFile(h.Path("site.json"), ConfigToJson(ConfigDocument{SiteConfig(), {}}));
        QStringList args{S("commission"), S("--config"), h.Path("site.json"), S("--ip-from"), S("10.1.2.30"),
                         S("--count"), S("1"), S("--mac-next"), S("--record"), h.Path("bench.csv")};
        if (parallel)
            args << S("--parallel");
        const CliRun run = h.Run(args);

        EXPECT_EQ(run.Code, 0) << testing::PrintToString(run);
        EXPECT_EQ(ReadFile(h.Path("bench.csv")),
                  ExpectedRecord({.name = "", .fault = nullptr,
                                  .line1 = "1002,1.05,00.04.A3.01.1E.0F,10.1.2.30,commissioned,confirmed",
                                  .line2 = ""}));
        EXPECT_EQ(ReadFile(h.MacFile), QByteArray(macFile).replace(0, 2, "10"));
        EXPECT_EQ(units[0]->ReceivedCount(), 0u);
        EXPECT_TRUE(run.Out.contains(parallel ? S("[sim:0] Unit 1: gone before it could be opened; not recorded\n")
                                              : S("Waiting for unit 1 of 1 (IP address 10.1.2.30, MAC address "
                                                  "00.04.A3.01.1E.0F): plug it in\nWaiting for unit 1 of 1 (")))
            << testing::PrintToString(run);
    }
}
