// write: a configuration file, changed by the options, checked as the
// window checks it, written to the unit and read back.

#include "cli/CliCommands.h"
#include "cli/CliStdio.h"

#include "common/AnsiText.h"

#include <algorithm>
#include <cstddef>
#include <functional>

namespace vantrel::cli {

CommandSpec WriteSpec()
{
    const auto option = [](const char* name, const char* value, const char* help, bool repeatable = false) {
        return OptionSpec{.Name = QString::fromLatin1(name),
                          .Value = QString::fromLatin1(value),
                          .Help = QString::fromLatin1(help),
                          .Repeatable = repeatable};
    };
    return {.Name = QStringLiteral("write"),
            .Arguments = QStringLiteral("FILE"),
            .Summary = QStringLiteral("Write the configuration in FILE (.dat or .json) to the unit and check it."),
            .Description = {QStringLiteral(
                                "The options change single values of the file's configuration first. The addresses "
                                "are checked as the window checks them (\"Invalid IP Address\", ..., \"There are "
                                "errors\"), and every value must lie within what the window's controls allow. Then "
                                "\"Write To QUORVEX\", then \"Read From QUORVEX\": the unit must give back what was "
                                "written, else the differences are listed field by field and the exit code is that "
                                "of a failed check."),
                            QStringLiteral("LIST is channel numbers separated by commas (\"1,5,16\"), \"none\" or "
                                           "\"all\". FILE - is standard input, in the form --format names.")},
            .Options = {FormatOption(),
                        option("--ip", "A.B.C.D", "IP Address (only with \"Get Address Automatically\" off)"),
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
                        option("--hysteresis", "INPUT=N", "the hysteresis of input 1 to 8, 0 to 1024 (repeatable)",
                               true),
                        option("--invert-inputs", "LIST", "Invert Inputs: the channels inverted"),
                        option("--invert-outputs", "LIST", "Invert Outputs: the channels inverted"),
                        option("--output-start", "LIST", "Output Start Status: the channels active"),
                        UnitOption(),
                        TimeoutOption()},
            .MinPositional = 1,
            .MaxPositional = 1,
            .FileArguments = true};
}

namespace {

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

// The number for the record's field at `offset`, within what the window's
// control for it takes.
void SetNumber(const ParsedArgs& args, const char* name, std::size_t offset, const std::function<void(long long)>& set)
{
    const QString option = QString::fromLatin1(name);
    if (!args.Has(option))
        return;
    const auto [min, max] = *FieldAt(offset).Limits;
    const QString value = args.Value(option);
    const auto n = ParseDecimal(value, min, max);
    if (!n)
        throw CliFailure(CliExit::Usage,
                         QStringLiteral("%1: '%2' is not a whole number from %3 to %4")
                             .arg(option, value, QString::number(min), QString::number(max)));
    set(*n);
}

// The most characters the window's control for the name at `offset` takes.
std::size_t NameLimit(std::size_t offset)
{
    return std::size_t(FieldAt(offset).Limits->Max);
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
ConfigRecord RecordToWrite(const QString& file, const ParsedArgs& args, CliContext& context)
{
    ConfigRecord r = LoadConfigArg(file, args, context).Record;
    SetFlag(args, "--dhcp", r.DHCPEnable);
    SetFlag(args, "--client", r.EnableClient);
    SetFlag(args, "--broadcast", r.UseBroadcast);
    SetName(args, "--device-name", r.DeviceName, sizeof r.DeviceName, NameLimit(offsetof(ConfigRecord, DeviceName)));
    SetName(args, "--ethernet-name", r.EthernetName, sizeof r.EthernetName,
            NameLimit(offsetof(ConfigRecord, EthernetName)));
    SetNumber(args, "--port", offsetof(ConfigRecord, ClientPort), [&](long long n) { r.ClientPort = std::int32_t(n); });
    SetNumber(args, "--update-period", offsetof(ConfigRecord, UpdatePeriod),
              [&](long long n) { r.UpdatePeriod = std::uint8_t(n); });
    SetNumber(args, "--server-timeout", offsetof(ConfigRecord, ServerTimeout),
              [&](long long n) { r.ServerTimeout = std::uint8_t(n); });
    const WindowLimits hysteresis = *FieldAt(offsetof(ConfigRecord, Hysteresis)).Limits;
    for (const QString& given : args.Values(QStringLiteral("--hysteresis"))) {
        const qsizetype equals = given.indexOf(QLatin1Char('='));
        const auto input = ParseDecimal(given.left(equals), 1, 8);
        const auto value = ParseDecimal(given.mid(equals + 1), hysteresis.Min, hysteresis.Max);
        if (equals < 0 || !input || !value)
            throw CliFailure(CliExit::Usage, QStringLiteral("--hysteresis: '%1' is not INPUT=N with INPUT from 1 to 8 "
                                                            "and N a whole number from %2 to %3")
                                                 .arg(given, QString::number(hysteresis.Min),
                                                      QString::number(hysteresis.Max)));
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

} // namespace

CliExit RunWrite(const ParsedArgs& args, CliContext& context)
{
    const ConfigRecord record = RecordToWrite(args.Positional[0], args, context);
    if (LoadName(record.DeviceName, sizeof record.DeviceName).size() > kDeviceNameChars - 1)
        context.Err << "Device Name: the unit keeps its first " << kDeviceNameChars - 1 << " characters\n";
    const auto session = ConnectToUnit(context, args);
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

} // namespace vantrel::cli
