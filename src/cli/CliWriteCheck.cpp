// A configuration checked as the window checks what it writes, written to
// the unit, and read back to see that the unit holds it.

#include "cli/CliSupport.h"

#include "common/AnsiText.h"
#include "config/AddressRules.h"
#include "config/StrToInt.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace vantrel::cli {

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
        // The window's lines, then the option and the text behind each. Only
        // an option's text can fail: the file's addresses are four bytes each.
        const auto name = [&](const std::optional<QString>& given, const OctetTexts& octets, const QString& option,
                              const char* what) {
            if (given && !std::all_of(octets.begin(), octets.end(), [](const std::string& t) { return IsValidOctet(t); }))
                lines << QStringLiteral("%1: '%2' is not %3 (four whole numbers from 0 to 255 separated by dots)")
                             .arg(option, *given, QLatin1String(what));
        };
        name(overrides.Ip, check.Ip, overrides.IpOption, "an IP address");
        name(overrides.Gateway, check.Gateway, QStringLiteral("--gateway"), "an IP address");
        name(overrides.Mask, check.Mask, QStringLiteral("--mask"), "a submask");
        name(overrides.Target, check.Target, QStringLiteral("--target"), "an IP address");
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

void CheckWindowLimits(const QString& file, const ConfigRecord& record)
{
    QStringList problems = OutsideWindowRanges(record);
    if (problems.isEmpty())
        return;
    for (QString& p : problems)
        p = file + QStringLiteral(": ") + p + QStringLiteral(" (what the window allows)");
    throw CliFailure(CliExit::BadFile, problems.join(QLatin1Char('\n')));
}

void CheckForWrite(const QString& file, ConfigRecord& record, const AddressOverrides& overrides)
{
    ApplyAddresses(record, overrides);
    CheckWindowLimits(file, record);
}

QStringList OutsideWindowRanges(const ConfigRecord& record)
{
    QStringList problems;
    const auto named = [](const RecordField& f) {
        return QStringLiteral("%1 (%2)").arg(JsonKeyAt(f.Offset), QString::fromLatin1(f.Caption));
    };
    const auto check = [&](const RecordField& f, long long value, long long min, long long max) {
        if (value < min || value > max)
            problems << QStringLiteral("%1: %2 is not a whole number from %3 to %4")
                            .arg(named(f))
                            .arg(value)
                            .arg(min)
                            .arg(max);
    };
    for (const RecordField& f : RecordFields()) {
        if (!f.Limits)
            continue;
        if (f.Kind == FieldKind::Number8 || f.Kind == FieldKind::Number32) {
            check(f, FieldNumber(record, f), f.Limits->Min, f.Limits->Max);
        } else if (f.Kind == FieldKind::Name
                   && LoadName(FieldBytes(record, f), f.Size).size() > std::size_t(f.Limits->Max)) {
            problems << QStringLiteral("%1: \"%2\" is longer than %3 characters")
                            .arg(named(f), FieldValue(record, f), QString::number(f.Limits->Max));
        }
    }
    return problems;
}

WriteCheck CompareReadBack(const ConfigRecord& written, const UnitSession::ReadResult& read)
{
    WriteCheck check;
    check.Ident = read.Ident;
    check.Expected = ReadBackOf(written, written);
    check.ReadBack = read.Record;
    check.Mac = read.Mac;
    for (const RecordField& field : DifferingFields(check.Expected, check.ReadBack))
        check.Differing << QString::fromLatin1(field.Caption);
    check.Differences = DifferenceLines(check.Expected, check.ReadBack);
    return check;
}

WriteCheck WriteAndCheck(UnitSession& session, const ConfigRecord& record)
{
    IdentReply ident;
    try {
        ident = session.Write(record);
    } catch (const SessionError& error) {
        if (!session.Sent(RequestKind::Erase))
            throw;
        throw SessionError(error.Kind(), std::string(error.what())
                                             + "\nThe write did not finish: the unit may hold an incomplete "
                                               "configuration. Write it again.");
    }
    UnitSession::ReadResult read;
    try {
        // Fields a read does not carry keep the written record's values, so
        // only those a read carries can differ.
        read = session.Read(record);
    } catch (const SessionError& error) {
        throw SessionError(error.Kind(),
                           std::string(error.what()) + "\nThe configuration was written, but not read back to check it.");
    }
    WriteCheck check = CompareReadBack(record, read);
    check.Ident = ident;
    return check;
}

} // namespace vantrel::cli
