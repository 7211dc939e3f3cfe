// mac: "Send New MAC", with the octets given or the allocation file's next
// free address.

#include "cli/CliCommands.h"

namespace vantrel::cli {

CommandSpec MacSpec()
{
    return {.Name = QStringLiteral("mac"),
            .Arguments = QStringLiteral("XX YY | --next"),
            .Summary = QStringLiteral("Give the unit a MAC address (\"Send New MAC\")."),
            .Description = {QStringLiteral(
                "Octets 1 to 4 come from lines 6 to 3 of the MAC allocation file, as the window takes "
                "them. XX and YY are octets 5 and 6, two hex digits each. With --next, lines 2 and 1 of "
                "the file name octets 5 and 6 of the next free address. It is reserved first: the file's "
                "lines 2 and 1 are set to the address after it (written atomically and flushed, every "
                "other byte of the file as it was), and only then is it sent. An address that may have reached a unit is never "
                "given again, confirmed or not; one whose request never went out goes back to the file "
                "while no other program has taken one since, else it is a gap. Nothing is sent when "
                "the file could not be advanced: FF FF in lines 2 and 1, or a file that would not read "
                "back exactly.")},
            .Options = {{QStringLiteral("--next"), QString(),
                         QStringLiteral("send the file's next free address and advance it")},
                        MacFileOption(),
                        UnitOption(),
                        TimeoutOption()},
            .MinPositional = 0,
            .MaxPositional = 2};
}

namespace {

// Two octets of two hex digits each, or --next alone.
void CheckMacArguments(const ParsedArgs& args, bool next)
{
    if (next != args.Positional.isEmpty())
        throw UsageError(MacSpec(), next ? QStringLiteral("--next takes no octets")
                                         : QStringLiteral("give octets 5 and 6 (XX YY) or --next"));
    if (!next && args.Positional.size() != 2)
        throw UsageError(MacSpec(), QStringLiteral("give both octets 5 and 6 (XX YY)"));
    for (qsizetype i = 0; i < args.Positional.size(); ++i) {
        const QString& octet = args.Positional[i];
        if (octet.size() != 2 || !HexPairToOctet(octet.toLatin1().toStdString()))
            throw CliFailure(CliExit::Usage, QStringLiteral("Invalid MAC octet: '%1'\noctet %2 (%3)")
                                                 .arg(octet)
                                                 .arg(i + 5)
                                                 .arg(QLatin1String(i == 0 ? "XX" : "YY")));
    }
}

} // namespace

namespace {

// `mac --next`: the address is reserved first (the file advanced past it),
// so a file that another program holds, or that cannot give one, is
// refused before anything is sent; then the unit is found, identified and
// sent the address. An address whose request never went out (no unit,
// program mode, another application, Ctrl-C) goes back to the file.
CliExit SendNextMac(const ParsedArgs& args, CliContext& context)
{
    const QString path = MacAllocationPath(args, context);
    const NextMacs reserved = ReserveNextMacs(path, 1, context.LockWait);
    const MacOctets mac = reserved.Macs.front();
    context.Out << "MAC address " << MacText(mac) << " reserved; the MAC allocation file names "
                << MacText(reserved.After) << " next\n";
    context.Out.flush();
    const auto notSent = [&] {
        QString whyNot;
        return "The MAC address " + MacText(mac).toStdString() + " was not sent; "
               + (GiveBackMac(path, mac, context.LockWait, whyNot) ? std::string("the MAC allocation file names it again.")
                                                                    : "it is left as a gap (" + whyNot.toStdString() + ").");
    };
    std::unique_ptr<UnitSession> session;
    try {
        session = ConnectToUnit(context, args);
        session->WriteMac(mac);
    } catch (const SessionError& error) {
        if (!session || !session->Sent(RequestKind::MacWrite))
            throw SessionError(error.Kind(), std::string(error.what()) + '\n' + notSent());
        throw SessionError(error.Kind(), std::string(error.what()) + "\nThe MAC address " + MacText(mac).toStdString()
                                             + " was sent, but the unit did not confirm it. It is spent: no bench "
                                               "gives it again. See what the unit holds with: vantrel-cli info");
    } catch (const CliFailure& failure) {
        throw CliFailure(failure.Code, failure.Message + QLatin1Char('\n') + QString::fromStdString(notSent()));
    }
    context.Out << "MAC Downloaded: " << MacText(mac) << '\n';
    context.Out << "Next free address: " << MacText(reserved.After) << '\n';
    return CliExit::Success;
}

} // namespace

CliExit RunMac(const ParsedArgs& args, CliContext& context)
{
    const bool next = args.Has(QStringLiteral("--next"));
    CheckMacArguments(args, next);
    if (next)
        return SendNextMac(args, context);
    const MacAllocationFile allocation = LoadMacAllocation(MacAllocationPath(args, context));
    const MacOctets mac = AllocationMac(allocation, args.Positional[0], args.Positional[1], CliExit::Usage);
    const auto session = ConnectToUnit(context, args);
    try {
        session->WriteMac(mac);
    } catch (const SessionError& error) {
        if (!session->Sent(RequestKind::MacWrite))
            throw;
        throw SessionError(error.Kind(), std::string(error.what()) + "\nThe MAC address " + MacText(mac).toStdString()
                                             + " was sent, but the unit did not confirm it.");
    }
    context.Out << "MAC Downloaded: " << MacText(mac) << '\n';
    return CliExit::Success;
}

} // namespace vantrel::cli
