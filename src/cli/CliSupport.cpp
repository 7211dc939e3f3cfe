#include "cli/CliSupport.h"

#include "config/AddressRules.h"
#include "common/AnsiText.h"
#include "config/StrToInt.h"
#include "common/SaveWhole.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstring>

namespace vantrel::cli {

// ---- Options ---------------------------------------------------------------------------

OptionSpec TimeoutOption()
{
    return {QStringLiteral("--timeout"), QStringLiteral("MS"),
            QStringLiteral("wait at most MS milliseconds for each reply of the unit (default 2000)")};
}

OptionSpec MacFileOption()
{
    return {QStringLiteral("--mac-file"), QStringLiteral("PATH"),
            QStringLiteral("the MAC allocation file to use instead of the one at its fixed place")};
}

bool ParsedArgs::Has(const QString& name) const
{
    for (const auto& [given, value] : Given)
        if (given == name)
            return true;
    return false;
}

QString ParsedArgs::Value(const QString& name) const
{
    QString last;
    for (const auto& [given, value] : Given)
        if (given == name)
            last = value;
    return last;
}

QStringList ParsedArgs::Values(const QString& name) const
{
    QStringList values;
    for (const auto& [given, value] : Given)
        if (given == name)
            values << value;
    return values;
}

CliFailure UsageError(const CommandSpec& spec, const QString& message)
{
    return CliFailure(CliExit::Usage, QStringLiteral("vantrel-cli %1: %2\nTry 'vantrel-cli %1 --help'.")
                                          .arg(spec.Name, message));
}

ParsedArgs ParseArgs(const CommandSpec& spec, const QStringList& args)
{
    ParsedArgs parsed;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& word = args[i];
        if (optionsEnded || !word.startsWith(QLatin1Char('-')) || word == QStringLiteral("-")) {
            parsed.Positional << word;
            continue;
        }
        if (word == QStringLiteral("--")) {
            optionsEnded = true;
            continue;
        }
        const qsizetype equals = word.indexOf(QLatin1Char('='));
        const QString name = equals < 0 ? word : word.left(equals);
        const OptionSpec* option = nullptr;
        for (const OptionSpec& o : spec.Options)
            if (o.Name == name || (!o.Alias.isEmpty() && o.Alias == name))
                option = &o;
        if (!option)
            throw UsageError(spec, QStringLiteral("unknown option '%1'").arg(name));
        QString value;
        if (option->Value.isEmpty()) {
            if (equals >= 0)
                throw UsageError(spec, QStringLiteral("%1 takes no value").arg(option->Name));
        } else if (equals >= 0) {
            value = word.mid(equals + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            throw UsageError(spec, QStringLiteral("%1 needs a value (%2)").arg(option->Name, option->Value));
        }
        if (!option->Repeatable && parsed.Has(option->Name))
            throw UsageError(spec, QStringLiteral("%1 is given more than once").arg(option->Name));
        parsed.Given.emplace_back(option->Name, value);
    }
    if (parsed.Positional.size() < spec.MinPositional)
        throw UsageError(spec, QStringLiteral("missing argument: %1").arg(spec.Arguments));
    if (parsed.Positional.size() > spec.MaxPositional)
        throw UsageError(spec, QStringLiteral("unexpected argument '%1'").arg(parsed.Positional[spec.MaxPositional]));
    return parsed;
}

QString CommandHelp(const CommandSpec& spec)
{
    QString text = QStringLiteral("Usage: vantrel-cli %1").arg(spec.Name);
    if (!spec.Options.empty())
        text += QStringLiteral(" [options]");
    if (!spec.Arguments.isEmpty())
        text += QLatin1Char(' ') + spec.Arguments;
    text += QStringLiteral("\n\n") + spec.Summary + QLatin1Char('\n');
    if (!spec.Description.isEmpty())
        text += QLatin1Char('\n') + spec.Description + QLatin1Char('\n');
    text += QStringLiteral("\nOptions:\n");
    QList<std::pair<QString, QString>> rows;
    for (const OptionSpec& o : spec.Options) {
        QString left = o.Alias.isEmpty() ? o.Name : o.Alias + QStringLiteral(", ") + o.Name;
        if (!o.Value.isEmpty())
            left += QLatin1Char(' ') + o.Value;
        rows.append({left, o.Help});
    }
    rows.append({QStringLiteral("--help"), QStringLiteral("show this help")});
    qsizetype width = 0;
    for (const auto& row : rows)
        width = std::max(width, row.first.size());
    for (const auto& [left, help] : rows)
        text += QStringLiteral("  ") + left.leftJustified(width + 2) + help + QLatin1Char('\n');
    return text;
}

std::optional<long long> ParseDecimal(const QString& text, long long min, long long max)
{
    // Fifteen digits cannot overflow; no range the options take needs more.
    if (text.isEmpty() || text.size() > 16)
        return std::nullopt;
    qsizetype i = 0;
    const bool negative = text[0] == QLatin1Char('-');
    if (negative)
        ++i;
    if (i == text.size())
        return std::nullopt;
    long long value = 0;
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        value = value * 10 + (c.unicode() - '0');
    }
    if (negative)
        value = -value;
    if (value < min || value > max)
        return std::nullopt;
    return value;
}

std::chrono::milliseconds ReplyTimeout(const ParsedArgs& args)
{
    if (!args.Has(QStringLiteral("--timeout")))
        return kDefaultReplyTimeout;
    const QString text = args.Value(QStringLiteral("--timeout"));
    const auto ms = ParseDecimal(text, 1, 3600000);
    if (!ms)
        throw CliFailure(CliExit::Usage,
                         QStringLiteral("--timeout: '%1' is not a whole number of milliseconds from 1 to 3600000")
                             .arg(text));
    return std::chrono::milliseconds(*ms);
}

QString MacAllocationPath(const ParsedArgs& args, const CliContext& context)
{
    return args.Has(QStringLiteral("--mac-file")) ? args.Value(QStringLiteral("--mac-file"))
                                                  : context.MacAllocationFile;
}

// ---- Failures and exit codes ----------------------------------------------------------------

CliExit ExitCodeFor(SessionFailure failure)
{
    switch (failure) {
    case SessionFailure::NoUnit:
        return CliExit::NoUnit;
    case SessionFailure::ProgramMode:
        return CliExit::ProgramMode;
    case SessionFailure::NoAccess:
        return CliExit::NoAccess;
    case SessionFailure::NoAnswer:
        return CliExit::NoAnswer;
    case SessionFailure::UnitLost:
        return CliExit::Failure;
    case SessionFailure::WrongApplication:
        return CliExit::CheckFailed;
    case SessionFailure::Interrupted:
        return CliExit::Interrupted;
    }
    return CliExit::Failure;
}

int RunGuarded(CliContext& context, const std::function<CliExit()>& body)
{
    CliExit code = CliExit::Failure;
    try {
        code = body();
    } catch (const CliFailure& failure) {
        context.Err << failure.Message << '\n';
        code = failure.Code;
    } catch (const SessionError& error) {
        context.Err << QString::fromStdString(error.what()) << '\n';
        code = ExitCodeFor(error.Kind());
    } catch (const std::exception& error) {
        context.Err << QStringLiteral("vantrel-cli: ") << QString::fromStdString(error.what()) << '\n';
        code = CliExit::Failure;
    }
    context.Out.flush();
    context.Err.flush();
    return int(code);
}

// ---- Configuration files ------------------------------------------------------------------

namespace {

std::optional<ConfigFileType> TypeByExtension(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QStringLiteral("dat"))
        return ConfigFileType::Dat;
    if (suffix == QStringLiteral("json"))
        return ConfigFileType::Json;
    return std::nullopt;
}

// A JSON configuration is a few hundred bytes; anything this large is not one.
constexpr qint64 kLargestJsonFile = 1 << 20;

} // namespace

ConfigFileType ConfigFileTypeOf(const QString& path)
{
    if (const auto type = TypeByExtension(path))
        return *type;
    throw CliFailure(CliExit::Usage,
                     QStringLiteral("%1: the name must end in .dat (a data file) or .json (the JSON form)").arg(path));
}

ConfigDocument LoadConfig(const QString& path)
{
    const auto type = TypeByExtension(path);
    if (!type)
        throw CliFailure(CliExit::BadFile,
                         QStringLiteral("%1: not a configuration file: the name must end in .dat or .json").arg(path));
    const auto bad = [&](const QString& what) { return CliFailure(CliExit::BadFile, path + QStringLiteral(": ") + what); };
    if (QFileInfo(path).isDir())
        throw bad(QStringLiteral("is a folder"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw bad(QStringLiteral("cannot be read: ") + file.errorString());
    // Bytes after offset 195 are not part of a data file.
    const QByteArray bytes = file.read(*type == ConfigFileType::Dat ? qint64(kDataFileSize) : kLargestJsonFile + 1);
    if (file.error() != QFileDevice::NoError)
        throw bad(QStringLiteral("cannot be read: ") + file.errorString());

    ConfigDocument document;
    if (*type == ConfigFileType::Json) {
        if (bytes.size() > kLargestJsonFile)
            throw bad(QStringLiteral("too large for a configuration (over 1 MB)"));
        QStringList errors;
        if (!ConfigFromJson(bytes, document, errors)) {
            for (QString& e : errors)
                e.prepend(path + QStringLiteral(": "));
            throw CliFailure(CliExit::BadFile, errors.join(QLatin1Char('\n')));
        }
        return document;
    }
    const std::span view(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size()));
    switch (DecodeDataFile(view, document.Record)) {
    case DataFileCheck::Ok:
        document.Header = DataFileHeaderOf(view);
        return document;
    case DataFileCheck::Incompatible:
        throw bad(QStringLiteral("Incompatible data file."));
    case DataFileCheck::LaterVersion:
        throw bad(QStringLiteral("The file uses a later data format. Cannot load"));
    case DataFileCheck::Truncated:
        break;
    }
    throw bad(QStringLiteral("too short for a data file (%1 bytes of %2)").arg(bytes.size()).arg(kDataFileSize));
}

void SaveAtomically(const QString& path, const QByteArray& bytes)
{
    QString error;
    if (!SaveWhole(path, bytes, &error))
        throw CliFailure(CliExit::Failure, QStringLiteral("Cannot write %1: %2").arg(path, error));
}

void SaveConfig(const QString& path, const ConfigDocument& document)
{
    if (ConfigFileTypeOf(path) == ConfigFileType::Json) {
        SaveAtomically(path, ConfigToJson(document));
        return;
    }
    const DataFileImage image = EncodeDataFile(document.Record, document.Header);
    SaveAtomically(path, QByteArray(reinterpret_cast<const char*>(image.data()), qsizetype(image.size())));
}

// ---- Records as text --------------------------------------------------------------------

ConfigRecord FactoryRecord()
{
    ConfigRecord record{};
    SetDefaults(record);
    return record;
}

QString UnitText(const std::string& bytes)
{
    QString text = FromAnsi(bytes);
    for (QChar& c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || c.unicode() == 0x85 || c == QChar::LineSeparator
            || c == QChar::ParagraphSeparator)
            c = QChar::ReplacementCharacter;
    return text;
}

namespace {

QString Hex(const std::uint8_t* bytes, std::size_t count)
{
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(bytes), qsizetype(count)).toHex(' ').toUpper());
}

QString FlagText(std::uint8_t byte)
{
    if (byte > 1)
        return QStringLiteral("on (byte %1)").arg(byte);
    return byte ? QStringLiteral("on") : QStringLiteral("off");
}

} // namespace

QString FieldValue(const ConfigRecord& record, const RecordField& field)
{
    const std::uint8_t* p = FieldBytes(record, field);
    switch (field.Kind) {
    case FieldKind::Address:
        return QStringLiteral("%1.%2.%3.%4").arg(p[0]).arg(p[1]).arg(p[2]).arg(p[3]);
    case FieldKind::Flag:
        return FlagText(p[0]);
    case FieldKind::Name:
        return UnitText(LoadName(p, field.Size));
    case FieldKind::Number8:
        return QString::number(p[0]);
    case FieldKind::Number32: {
        std::int32_t n = 0;
        std::memcpy(&n, p, sizeof n);
        return QString::number(n);
    }
    case FieldKind::Channels: {
        QStringList on;
        for (std::size_t c = 0; c < field.Size; ++c)
            if (p[c] != 0)
                on << (p[c] == 1 ? QString::number(c + 1) : QStringLiteral("%1 (byte %2)").arg(c + 1).arg(p[c]));
        return on.isEmpty() ? QStringLiteral("none") : on.join(QStringLiteral(", "));
    }
    case FieldKind::Reserved:
        return Hex(p, field.Size);
    }
    return {};
}

QStringList ReadableLines(const ConfigRecord& record)
{
    QStringList lines;
    for (const RecordField& f : RecordFields())
        if (f.Kind != FieldKind::Reserved)
            lines << QString::fromLatin1(f.Caption) + QStringLiteral(": ") + FieldValue(record, f);
    return lines;
}

QStringList DifferenceLines(const ConfigRecord& a, const ConfigRecord& b)
{
    QStringList lines;
    for (const RecordField& f : DifferingFields(a, b)) {
        QString va = FieldValue(a, f), vb = FieldValue(b, f);
        if (va == vb) {
            va += QStringLiteral(" [%1]").arg(Hex(FieldBytes(a, f), f.Size));
            vb += QStringLiteral(" [%1]").arg(Hex(FieldBytes(b, f), f.Size));
        }
        lines << QStringLiteral("%1: %2 | %3").arg(QString::fromLatin1(f.Caption), va, vb);
    }
    return lines;
}

// ---- Writing a configuration ---------------------------------------------------------------

void ApplyAddresses(ConfigRecord& record, const AddressOverrides& overrides)
{
    if (overrides.Ip && record.DHCPEnable != 0)
        throw CliFailure(CliExit::Usage, QStringLiteral("The IP address is not used while \"Get Address "
                                                        "Automatically\" is on: the unit gets its address itself"));
    if (overrides.Target && record.EnableClient == 0)
        throw CliFailure(CliExit::Usage,
                         QStringLiteral("The target IP address is not used while \"Enable Client\" is off"));
    const auto texts = [](const std::optional<QString>& given, const std::uint8_t (&octets)[4]) {
        if (given)
            return SplitDottedAddress(given->toStdString());
        OctetTexts shown;
        for (std::size_t i = 0; i < 4; ++i)
            shown[i] = std::to_string(octets[i]);
        return shown;
    };
    AddressTexts check;
    check.DhcpEnabled = record.DHCPEnable != 0;
    check.ClientEnabled = record.EnableClient != 0;
    check.Ip = texts(overrides.Ip, record.IPAddr);
    check.Gateway = texts(overrides.Gateway, record.GateWayAddr);
    check.Mask = texts(overrides.Mask, record.SubMaskAddr);
    check.Target = texts(overrides.Target, record.ClientAddr);
    const std::vector<std::string> failures = CheckAddressTexts(check);
    if (!failures.empty()) {
        QStringList lines;
        for (const std::string& f : failures)
            lines << QString::fromStdString(f);
        lines << QString::fromLatin1(kAddressCheckFailed);
        throw CliFailure(CliExit::Usage, lines.join(QLatin1Char('\n')));
    }
    const auto take = [](const OctetTexts& octets, std::uint8_t (&field)[4]) {
        for (std::size_t i = 0; i < 4; ++i)
            field[i] = StrToOctet(octets[i]);
    };
    if (overrides.Ip)
        take(check.Ip, record.IPAddr);
    if (overrides.Gateway)
        take(check.Gateway, record.GateWayAddr);
    if (overrides.Mask)
        take(check.Mask, record.SubMaskAddr);
    if (overrides.Target)
        take(check.Target, record.ClientAddr);
}

void CheckForWrite(const QString& file, ConfigRecord& record, const AddressOverrides& overrides)
{
    ApplyAddresses(record, overrides);
    QStringList problems = OutsideWindowRanges(record);
    if (problems.isEmpty())
        return;
    for (QString& p : problems)
        p = file + QStringLiteral(": ") + p + QStringLiteral(" (what the window allows)");
    throw CliFailure(CliExit::BadFile, problems.join(QLatin1Char('\n')));
}

QStringList OutsideWindowRanges(const ConfigRecord& record)
{
    QStringList problems;
    const auto check = [&](const RecordField& f, long long value, long long min, long long max) {
        if (value < min || value > max)
            problems << QStringLiteral("%1: %2 is not a whole number from %3 to %4")
                            .arg(QString::fromLatin1(f.Caption))
                            .arg(value)
                            .arg(min)
                            .arg(max);
    };
    for (const RecordField& f : RecordFields()) {
        const std::uint8_t* p = FieldBytes(record, f);
        if (f.Offset == offsetof(ConfigRecord, ClientPort)) {
            check(f, record.ClientPort, 1, 65535);
        } else if (f.Kind == FieldKind::Number32) {
            std::int32_t n = 0;
            std::memcpy(&n, p, sizeof n);
            check(f, n, 0, 1024); // the hysteresis of an input
        } else if (f.Kind == FieldKind::Number8) {
            check(f, p[0], 1, 255);
        } else if (f.Offset == offsetof(ConfigRecord, EthernetName) && LoadName(p, f.Size).size() > kEthernetNameChars) {
            problems << QStringLiteral("%1: \"%2\" is longer than %3 characters")
                            .arg(QString::fromLatin1(f.Caption), FieldValue(record, f),
                                 QString::number(kEthernetNameChars));
        }
    }
    return problems;
}

namespace {
// Sets a session's BeforeRequest for a while and puts the earlier one back.
class RequestWatch {
public:
    RequestWatch(UnitSession& session, std::function<void(const RequestStep&)> watch)
        : session_(session), earlier_(session.BeforeRequest)
    {
        session_.BeforeRequest = [this, watch](const RequestStep& step) {
            watch(step);
            if (earlier_)
                earlier_(step);
        };
    }
    ~RequestWatch() { session_.BeforeRequest = earlier_; }
    RequestWatch(const RequestWatch&) = delete;
    RequestWatch& operator=(const RequestWatch&) = delete;

private:
    UnitSession& session_;
    std::function<void(const RequestStep&)> earlier_;
};
} // namespace

WriteCheck WriteAndCheck(UnitSession& session, const ConfigRecord& record)
{
    WriteCheck check;
    {
        bool erased = false;
        RequestWatch watch(session, [&](const RequestStep& step) { erased = erased || step.Kind == RequestKind::Erase; });
        try {
            check.Ident = session.Write(record);
        } catch (const SessionError& error) {
            if (!erased)
                throw;
            throw SessionError(error.Kind(), std::string(error.what())
                                                 + "\nThe write did not finish: the unit may hold an incomplete "
                                                   "configuration. Write it again.");
        }
    }
    try {
        // Fields a read does not carry keep the written record's values, so
        // only those a read carries can differ.
        const UnitSession::ReadResult read = session.Read(record);
        check.ReadBack = read.Record;
        check.Mac = read.Mac;
    } catch (const SessionError& error) {
        throw SessionError(error.Kind(),
                           std::string(error.what()) + "\nThe configuration was written, but not read back to check it.");
    }
    check.Expected = ReadBackOf(record, record);
    check.Differences = DifferenceLines(check.Expected, check.ReadBack);
    return check;
}

std::unique_ptr<UnitSession> ConnectToUnit(CliContext& context, std::chrono::milliseconds timeout)
{
    auto session = std::make_unique<UnitSession>(context.Hid, timeout, context.Interrupt);
    session->Connect();
    return session;
}

// ---- The MAC allocation file ----------------------------------------------------------------

QString MacText(const MacOctets& mac)
{
    return QString::fromStdString(MacAddressText(mac.data()));
}

MacAllocation LoadMacAllocation(const QString& path)
{
    MacAllocation allocation;
    QString error;
    switch (ReadMacAllocationFile(path, allocation, &error)) {
    case MacFileStatus::Read:
        return allocation;
    case MacFileStatus::Missing:
        throw CliFailure(CliExit::BadFile, QStringLiteral("MAC allocation file not found: %1").arg(path));
    case MacFileStatus::Unreadable:
        break;
    }
    throw CliFailure(CliExit::BadFile, QStringLiteral("MAC allocation file cannot be read: %1: %2").arg(path, error));
}

MacOctets AllocationMac(const MacAllocation& allocation, const QString& octet5, const QString& octet6,
                        CliExit textCode)
{
    const MacAddressResult mac = MacAddressFrom(allocation.Lines, octet5, octet6);
    if (mac.TooFewLines)
        throw CliFailure(CliExit::BadFile,
                         QStringLiteral("MAC allocation file has fewer than 6 lines\n") + allocation.Path);
    if (!mac.Octets)
        throw CliFailure(mac.BadOctet < 4 ? CliExit::BadFile : textCode,
                         QStringLiteral("Invalid MAC octet: '%1'").arg(mac.BadText));
    return *mac.Octets;
}

NextMac PlanNextMac(const MacAllocation& allocation)
{
    NextMac next;
    if (allocation.Lines.size() < 6)
        throw CliFailure(CliExit::BadFile,
                         QStringLiteral("MAC allocation file has fewer than 6 lines\n") + allocation.Path);
    next.Mac = AllocationMac(allocation, allocation.Lines[1], allocation.Lines[0], CliExit::BadFile);
    const int value = next.Mac[4] * 256 + next.Mac[5];
    if (value == 0xFFFF)
        throw CliFailure(CliExit::BadFile,
                         QStringLiteral("MAC allocation file: lines 2 and 1 hold FF FF, the last address; there is "
                                        "none after it, so nothing was sent\n")
                             + allocation.Path);
    const int after = value + 1;
    next.After = next.Mac;
    next.After[4] = std::uint8_t(after >> 8);
    next.After[5] = std::uint8_t(after & 0xFF);

    const auto file = WithNextOctets(allocation, next.After[4], next.After[5]);
    if (!file)
        throw CliFailure(CliExit::BadFile, QStringLiteral("MAC allocation file not written: it would not read back "
                                                          "exactly, so nothing was sent\n")
                                               + allocation.Path);
    next.NewFile = *file;
    return next;
}

void CommitNextMac(const MacAllocation& allocation, const NextMac& next)
{
    const auto notAdvanced = [&](const QString& reason) {
        return CliFailure(CliExit::Failure,
                          QStringLiteral("The unit now has the MAC address %1, but the MAC allocation file %2 was "
                                         "not advanced: %3\nSet its lines 2 and 1 to %4 and %5 before the next unit.")
                              .arg(MacText(next.Mac), allocation.Path, reason, OctetText(next.After[4]),
                                   OctetText(next.After[5])));
    };
    QFile file(allocation.Path);
    QByteArray now;
    const bool read = file.open(QIODevice::ReadOnly);
    if (read)
        now = file.readAll();
    if (!read || file.error() != QFileDevice::NoError || now != allocation.Bytes)
        throw notAdvanced(QStringLiteral("it changed while the address was sent"));
    file.close();
    QString error;
    if (!SaveWhole(allocation.Path, next.NewFile, &error))
        throw notAdvanced(QStringLiteral("Cannot write %1: %2").arg(allocation.Path, error));
}

} // namespace vantrel::cli
