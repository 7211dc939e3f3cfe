// vantrel-cli's subcommands and their dispatch. Each subcommand checks
// everything it was given (arguments, files) before it talks to the unit,
// and sends every request through UnitSession, the one place the program
// sends requests from.

#include "cli/Cli.h"

#include "cli/CliSupport.h"
#include "common/AnsiText.h"
#include "device/UnitSelection.h"

#include <cstring>

namespace vantrel {

using namespace cli;

namespace {

// ---- list --------------------------------------------------------------------------------

CommandSpec ListSpec()
{
    return {QStringLiteral("list"), QString(),
            QStringLiteral("List every QUORVEX unit present."),
            QStringLiteral("One line per unit, its fields separated by tabs: the hardware ID, the path, \"normal\" or\n"
                           "\"program mode\", and \"can be opened\" or \"cannot be opened: <the system's reason>\".\n"
                           "Exits with the code for \"no unit\" when there is none."),
            {}};
}

CliExit RunList(const ParsedArgs&, CliContext& context)
{
    int units = 0;
    for (const HidInterfaceInfo& info : context.Hid.Enumerate()) {
        if (!MatchesPattern(info.HardwareId, kAnyRevisionPattern))
            continue;
        ++units;
        std::string writeError, readError;
        const bool openable = context.Hid.Open(info.Path, HidOpenMode::Write, writeError) != nullptr
                              && context.Hid.Open(info.Path, HidOpenMode::Read, readError) != nullptr;
        const QString access = openable ? QStringLiteral("can be opened")
                                        : QStringLiteral("cannot be opened: ")
                                              + QString::fromStdString(writeError.empty() ? readError : writeError);
        context.Out << QString::fromStdString(info.HardwareId) << '\t' << QString::fromStdString(info.Path) << '\t'
                    << (IsProgramMode(info.HardwareId) ? "program mode" : "normal") << '\t' << access << '\n';
    }
    if (units == 0)
        throw CliFailure(CliExit::NoUnit, QStringLiteral("Cannot find QUORVEX"));
    return CliExit::Success;
}

// ---- info --------------------------------------------------------------------------------

CommandSpec InfoSpec()
{
    return {QStringLiteral("info"), QString(),
            QStringLiteral("Show the unit's identification and MAC address."),
            QStringLiteral("Runs \"Read From QUORVEX\" and prints the application, the firmware version, the serial\n"
                           "number and the MAC address. A unit running another application ends with the code for\n"
                           "a failed check."),
            {TimeoutOption()}};
}

CliExit RunInfo(const ParsedArgs& args, CliContext& context)
{
    const auto session = ConnectToUnit(context, ReplyTimeout(args));
    const UnitSession::ReadResult read = session->Read(FactoryRecord());
    context.Out << "Application: QUORVEX Vantrel\n"
                << "Firmware Version: " << UnitText(read.Ident.Version) << '\n'
                << "Serial Number: " << read.Ident.SerialNumber << '\n'
                << "MAC Address: " << MacText(read.Mac) << '\n';
    return CliExit::Success;
}

// ---- read --------------------------------------------------------------------------------

CommandSpec ReadSpec()
{
    return {QStringLiteral("read"), QString(),
            QStringLiteral("Read the unit's configuration."),
            QStringLiteral("Without -o, prints it one field per line, named as the window names it, and the MAC\n"
                           "address. With -o, writes it to FILE: a data file when FILE ends in .dat, the JSON form\n"
                           "when it ends in .json."),
            {{QStringLiteral("--output"), QStringLiteral("FILE"), QStringLiteral("write the configuration to FILE"),
              QStringLiteral("-o")},
             TimeoutOption()}};
}

CliExit RunRead(const ParsedArgs& args, CliContext& context)
{
    const QString output = args.Value(QStringLiteral("--output"));
    if (args.Has(QStringLiteral("--output")))
        ConfigFileTypeOf(output);
    const auto session = ConnectToUnit(context, ReplyTimeout(args));
    const UnitSession::ReadResult read = session->Read(FactoryRecord());
    if (!args.Has(QStringLiteral("--output"))) {
        for (const QString& line : ReadableLines(read.Record))
            context.Out << line << '\n';
        context.Out << "MAC Address: " << MacText(read.Mac) << '\n';
        return CliExit::Success;
    }
    ConfigDocument document;
    document.Record = read.Record;
    SaveConfig(output, document);
    return CliExit::Success;
}

// ---- write -------------------------------------------------------------------------------

CommandSpec WriteSpec()
{
    const auto option = [](const char* name, const char* value, const char* help, bool repeatable = false) {
        return OptionSpec{QString::fromLatin1(name), QString::fromLatin1(value), QString::fromLatin1(help), QString(),
                          repeatable};
    };
    return {QStringLiteral("write"), QStringLiteral("FILE"),
            QStringLiteral("Write the configuration in FILE (.dat or .json) to the unit and check it."),
            QStringLiteral(
                "The options change single values of the file's configuration first. The addresses are\n"
                "checked as the window checks them (\"Invalid IP Address\", ..., \"There are errors\"), and\n"
                "every value must lie within what the window's controls allow. Then \"Write To QUORVEX\",\n"
                "then \"Read From QUORVEX\": the unit must give back what was written, else the\n"
                "differences are listed field by field and the exit code is that of a failed check.\n"
                "LIST is channel numbers separated by commas (\"1,5,16\"), \"none\" or \"all\"."),
            {option("--ip", "A.B.C.D", "IP Address (only with \"Get Address Automatically\" off)"),
             option("--gateway", "A.B.C.D", "Gateway Address"),
             option("--mask", "A.B.C.D", "Submask"),
             option("--target", "A.B.C.D", "Target IP Address (only with \"Enable Client\" on)"),
             option("--dhcp", "on|off", "Get Address Automatically"),
             option("--client", "on|off", "Enable Client"),
             option("--broadcast", "on|off", "Use Broadcast Address"),
             option("--device-name", "TEXT", "Device Name, at most 32 characters"),
             option("--ethernet-name", "TEXT", "Ethernet Name, at most 15 characters"),
             option("--port", "N", "Port Number, 1 to 65535"),
             option("--update-period", "N", "Update Period in seconds, 1 to 255"),
             option("--server-timeout", "N", "Timeout in seconds, 1 to 255"),
             option("--hysteresis", "INPUT=N", "the hysteresis of input 1 to 8, 0 to 1024 (repeatable)", true),
             option("--invert-inputs", "LIST", "Invert Inputs: the channels inverted"),
             option("--invert-outputs", "LIST", "Invert Outputs: the channels inverted"),
             option("--output-start", "LIST", "Output Start Status: the channels active"),
             TimeoutOption()},
            1,
            1};
}

void SetFlag(const ParsedArgs& args, const char* name, std::uint8_t& flag)
{
    const QString option = QString::fromLatin1(name);
    if (!args.Has(option))
        return;
    const QString value = args.Value(option);
    if (value == QStringLiteral("on"))
        flag = 1;
    else if (value == QStringLiteral("off"))
        flag = 0;
    else
        throw CliFailure(CliExit::Usage, QStringLiteral("%1: '%2' is not on or off").arg(option, value));
}

void SetNumber(const ParsedArgs& args, const char* name, long long min, long long max,
               const std::function<void(long long)>& set)
{
    const QString option = QString::fromLatin1(name);
    if (!args.Has(option))
        return;
    const QString value = args.Value(option);
    const auto n = ParseDecimal(value, min, max);
    if (!n)
        throw CliFailure(CliExit::Usage,
                         QStringLiteral("%1: '%2' is not a whole number from %3 to %4")
                             .arg(option, value, QString::number(min), QString::number(max)));
    set(*n);
}

void SetName(const ParsedArgs& args, const char* name, std::uint8_t* field, std::size_t width, std::size_t maxChars)
{
    const QString option = QString::fromLatin1(name);
    if (!args.Has(option))
        return;
    const QString text = args.Value(option);
    const std::string bytes = ToAnsi(text);
    QString problem;
    if (text.contains(QChar(0)))
        problem = QStringLiteral("holds a zero character");
    else if (FromAnsi(bytes) != text)
        problem = QStringLiteral("holds a character the unit's one-byte text cannot carry");
    else if (bytes.size() > maxChars)
        problem = QStringLiteral("is longer than %1 characters").arg(maxChars);
    if (!problem.isEmpty())
        throw CliFailure(CliExit::Usage, QStringLiteral("%1: \"%2\" %3").arg(option, text, problem));
    StoreName(field, width, maxChars, bytes);
}

void SetChannels(const ParsedArgs& args, const char* name, std::uint8_t (&channels)[16])
{
    const QString option = QString::fromLatin1(name);
    if (!args.Has(option))
        return;
    const QString value = args.Value(option);
    std::uint8_t on[16] = {};
    if (value == QStringLiteral("all")) {
        std::fill(std::begin(on), std::end(on), std::uint8_t{1});
    } else if (value != QStringLiteral("none")) {
        for (const QString& item : value.split(QLatin1Char(','))) {
            const auto channel = ParseDecimal(item.trimmed(), 1, 16);
            if (!channel)
                throw CliFailure(CliExit::Usage,
                                 QStringLiteral("%1: '%2' is not a channel number from 1 to 16").arg(option, item));
            on[*channel - 1] = 1;
        }
    }
    std::copy(std::begin(on), std::end(on), channels);
}

// The file's configuration with the options' changes, checked as the
// window checks what it writes.
ConfigRecord RecordToWrite(const QString& file, const ParsedArgs& args)
{
    ConfigRecord r = LoadConfig(file).Record;
    SetFlag(args, "--dhcp", r.DHCPEnable);
    SetFlag(args, "--client", r.EnableClient);
    SetFlag(args, "--broadcast", r.UseBroadcast);
    SetName(args, "--device-name", r.DeviceName, sizeof r.DeviceName, kDeviceNameChars);
    SetName(args, "--ethernet-name", r.EthernetName, sizeof r.EthernetName, kEthernetNameChars);
    SetNumber(args, "--port", 1, 65535, [&](long long n) { r.ClientPort = std::int32_t(n); });
    SetNumber(args, "--update-period", 1, 255, [&](long long n) { r.UpdatePeriod = std::uint8_t(n); });
    SetNumber(args, "--server-timeout", 1, 255, [&](long long n) { r.ServerTimeout = std::uint8_t(n); });
    for (const QString& given : args.Values(QStringLiteral("--hysteresis"))) {
        const qsizetype equals = given.indexOf(QLatin1Char('='));
        const auto input = ParseDecimal(given.left(equals), 1, 8);
        const auto value = ParseDecimal(given.mid(equals + 1), 0, 1024);
        if (equals < 0 || !input || !value)
            throw CliFailure(CliExit::Usage, QStringLiteral("--hysteresis: '%1' is not INPUT=N with INPUT from 1 to 8 "
                                                            "and N a whole number from 0 to 1024")
                                                 .arg(given));
        r.Hysteresis[*input - 1] = std::int32_t(*value);
    }
    SetChannels(args, "--invert-inputs", r.InvertInputs);
    SetChannels(args, "--invert-outputs", r.InvertOutputs);
    SetChannels(args, "--output-start", r.OutputStartStatus);

    AddressOverrides addresses;
    const auto address = [&](const char* name) -> std::optional<QString> {
        const QString option = QString::fromLatin1(name);
        return args.Has(option) ? std::optional(args.Value(option)) : std::nullopt;
    };
    addresses.Ip = address("--ip");
    addresses.Gateway = address("--gateway");
    addresses.Mask = address("--mask");
    addresses.Target = address("--target");
    CheckForWrite(file, r, addresses);
    return r;
}

CliExit RunWrite(const ParsedArgs& args, CliContext& context)
{
    const ConfigRecord record = RecordToWrite(args.Positional[0], args);
    if (LoadName(record.DeviceName, sizeof record.DeviceName).size() > kDeviceNameChars - 1)
        context.Err << "Device Name: the unit keeps its first " << kDeviceNameChars - 1 << " characters\n";
    const auto session = ConnectToUnit(context, ReplyTimeout(args));
    const WriteCheck check = WriteAndCheck(*session, record);
    if (!check.Ok()) {
        context.Err << "The unit does not give back what was written (written | read back):\n";
        for (const QString& line : check.Differences)
            context.Err << line << '\n';
        return CliExit::CheckFailed;
    }
    context.Out << "Download Complete: serial number " << check.Ident.SerialNumber
                << ", read back and found the same\n";
    return CliExit::Success;
}

// ---- mac ---------------------------------------------------------------------------------

CommandSpec MacSpec()
{
    return {QStringLiteral("mac"), QStringLiteral("XX YY | --next"),
            QStringLiteral("Give the unit a MAC address (\"Send New MAC\")."),
            QStringLiteral(
                "Octets 1 to 4 come from lines 6 to 3 of the MAC allocation file, as the window takes\n"
                "them. XX and YY are octets 5 and 6, two hex digits each. With --next, lines 2 and 1 of\n"
                "the file name octets 5 and 6 of the next free address: it is sent, and once the unit\n"
                "has taken it the file's lines 2 and 1 name the address after it (written atomically,\n"
                "every other byte of the file as it was). Nothing is sent when the file could not be\n"
                "advanced: FF FF in lines 2 and 1, or a file that would not read back exactly."),
            {{QStringLiteral("--next"), QString(), QStringLiteral("send the file's next free address and advance it")},
             MacFileOption(),
             TimeoutOption()},
            0,
            2};
}

CliExit RunMac(const ParsedArgs& args, CliContext& context)
{
    const bool next = args.Has(QStringLiteral("--next"));
    if (next != args.Positional.isEmpty())
        throw UsageError(MacSpec(), next ? QStringLiteral("--next takes no octets")
                                         : QStringLiteral("give octets 5 and 6 (XX YY) or --next"));
    if (!next && args.Positional.size() != 2)
        throw UsageError(MacSpec(), QStringLiteral("give both octets 5 and 6 (XX YY)"));
    for (const QString& octet : args.Positional)
        if (octet.size() != 2 || !HexPairToOctet(octet.toLatin1().toStdString()))
            throw CliFailure(CliExit::Usage, QStringLiteral("Invalid MAC octet: '%1'").arg(octet));

    const MacAllocation allocation = LoadMacAllocation(MacAllocationPath(args, context));
    std::optional<NextMac> plan;
    MacOctets mac{};
    if (next) {
        plan = PlanNextMac(allocation);
        mac = plan->Mac;
    } else {
        mac = AllocationMac(allocation, args.Positional[0], args.Positional[1], CliExit::Usage);
    }

    const auto session = ConnectToUnit(context, ReplyTimeout(args));
    bool sent = false;
    session->BeforeRequest = [&](const RequestStep& step) { sent = sent || step.Kind == RequestKind::MacWrite; };
    try {
        session->WriteMac(mac);
    } catch (const SessionError& error) {
        if (!sent)
            throw;
        throw SessionError(error.Kind(), std::string(error.what()) + "\nThe MAC address " + MacText(mac).toStdString()
                                             + " was sent, but the unit did not confirm it"
                                             + (next ? "; the MAC allocation file was not advanced." : "."));
    }
    context.Out << "MAC Downloaded: " << MacText(mac) << '\n';
    if (plan) {
        CommitNextMac(allocation, *plan);
        context.Out << "Next free address: " << MacText(plan->After) << '\n';
    }
    return CliExit::Success;
}

// ---- diff --------------------------------------------------------------------------------

CommandSpec DiffSpec()
{
    return {QStringLiteral("diff"), QStringLiteral("A B"),
            QStringLiteral("Compare two configurations field by field."),
            QStringLiteral(
                "A and B are each a .dat or .json file or the word \"unit\" (the unit's configuration, read\n"
                "from it). Prints \"Caption: A's value | B's value\" for every field that differs and exits\n"
                "with the code of a failed check; exits 0 when they are the same. Against the unit, a file\n"
                "counts as what the unit would give back once it had been written (a read carries no\n"
                "reserved bytes, flags as 0 or 1, names as at most 31 and 15 characters)."),
            {TimeoutOption()},
            2,
            2};
}

CliExit RunDiff(const ParsedArgs& args, CliContext& context)
{
    const QString unitWord = QStringLiteral("unit");
    const QString& a = args.Positional[0];
    const QString& b = args.Positional[1];
    std::optional<ConfigRecord> fileA, fileB;
    if (a != unitWord)
        fileA = LoadConfig(a).Record;
    if (b != unitWord)
        fileB = LoadConfig(b).Record;
    ConfigRecord left{}, right{};
    if (fileA && fileB) {
        left = *fileA;
        right = *fileB;
    } else {
        const auto session = ConnectToUnit(context, ReplyTimeout(args));
        // What the unit holds, against what it would hold had the file been
        // written; fields a read does not carry come from the file on both sides.
        const auto side = [&](const std::optional<ConfigRecord>& file) {
            if (file)
                return ReadBackOf(*file, *file);
            const std::optional<ConfigRecord>& other = fileA ? fileA : fileB;
            return session->Read(other ? *other : FactoryRecord()).Record;
        };
        left = side(fileA);
        right = side(fileB);
    }
    const QStringList differences = DifferenceLines(left, right);
    if (differences.isEmpty()) {
        context.Out << "No differences\n";
        return CliExit::Success;
    }
    context.Out << a << " | " << b << '\n';
    for (const QString& line : differences)
        context.Out << line << '\n';
    return CliExit::CheckFailed;
}

// ---- convert -----------------------------------------------------------------------------

CommandSpec ConvertSpec()
{
    return {QStringLiteral("convert"), QStringLiteral("A B"),
            QStringLiteral("Convert a configuration between a data file and the JSON form."),
            QStringLiteral("A and B are .dat or .json files, by their names. B is written atomically; a .dat file\n"
                           "converted to JSON and back is the same 196 bytes."),
            {},
            2,
            2};
}

CliExit RunConvert(const ParsedArgs& args, CliContext&)
{
    const QString& to = args.Positional[1];
    ConfigFileTypeOf(to);
    SaveConfig(to, LoadConfig(args.Positional[0]));
    return CliExit::Success;
}

// ---- dispatch ----------------------------------------------------------------------------

struct Command {
    CommandSpec Spec;
    std::function<CliExit(const ParsedArgs&, CliContext&)> Run;
};

const std::vector<Command>& Commands()
{
    static const std::vector<Command> commands{
        {ListSpec(), RunList},
        {InfoSpec(), RunInfo},
        {ReadSpec(), RunRead},
        {WriteSpec(), RunWrite},
        {MacSpec(), RunMac},
        {DiffSpec(), RunDiff},
        {ConvertSpec(), RunConvert},
        {CommissionSpec(), RunCommission},
    };
    return commands;
}

bool AsksForHelp(const QStringList& args)
{
    for (const QString& word : args) {
        if (word == QStringLiteral("--"))
            return false;
        if (word == QStringLiteral("--help") || word == QStringLiteral("-h"))
            return true;
    }
    return false;
}

} // namespace

QString CliUsage()
{
    QString text = QStringLiteral("Usage: vantrel-cli SUBCOMMAND [options] [arguments]\n\n"
                                  "The QUORVEX unit's configuration from a terminal or a script.\n\n"
                                  "Subcommands:\n");
    for (const Command& c : Commands())
        text += QStringLiteral("  %1%2\n").arg(c.Spec.Name.leftJustified(10), c.Spec.Summary);
    text += QStringLiteral("\nRun 'vantrel-cli SUBCOMMAND --help' for its options.\n\n"
                           "Exit codes:\n"
                           "    0  success\n"
                           "    1  any other failure: the unit went away, a file could not be written\n"
                           "    2  usage: unknown subcommand or option, a missing or malformed argument\n"
                           "    3  no unit: \"Cannot find QUORVEX\"\n"
                           "    4  the unit is in program mode\n"
                           "    5  a unit is there but cannot be opened (no access)\n"
                           "    6  the unit did not answer in time (--timeout)\n"
                           "    7  a check failed: a read-back or diff found differences, or the unit runs\n"
                           "       another application\n"
                           "    8  a data, JSON or MAC allocation file that cannot be used\n"
                           "  130  interrupted (Ctrl-C)\n");
    return text;
}

int RunCli(const QStringList& args, CliContext& context)
{
    const auto finish = [&](CliExit code) {
        context.Out.flush();
        context.Err.flush();
        return int(code);
    };
    if (args.isEmpty()) {
        context.Err << CliUsage();
        return finish(CliExit::Usage);
    }
    const QString& name = args[0];
    if (name == QStringLiteral("--help") || name == QStringLiteral("-h") || name == QStringLiteral("help")) {
        context.Out << CliUsage();
        return finish(CliExit::Success);
    }
    for (const Command& command : Commands()) {
        if (command.Spec.Name != name)
            continue;
        const QStringList rest = args.mid(1);
        if (AsksForHelp(rest)) {
            context.Out << CommandHelp(command.Spec);
            return finish(CliExit::Success);
        }
        return RunGuarded(context, [&] { return command.Run(ParseArgs(command.Spec, rest), context); });
    }
    context.Err << QStringLiteral("vantrel-cli: unknown subcommand '%1'\nTry 'vantrel-cli --help'.\n").arg(name);
    return finish(CliExit::Usage);
}

} // namespace vantrel
