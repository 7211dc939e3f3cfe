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
                "the file name octets 5 and 6 of the next free address: it is sent, and once the unit "
                "has taken it the file's lines 2 and 1 name the address after it (written atomically, "
                "every other byte of the file as it was). Nothing is sent when the file could not be "
                "advanced: FF FF in lines 2 and 1, or a file that would not read back exactly.")},
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
    for (const QString& octet : args.Positional)
        if (octet.size() != 2 || !HexPairToOctet(octet.toLatin1().toStdString()))
            throw CliFailure(CliExit::Usage, QStringLiteral("Invalid MAC octet: '%1'").arg(octet));
}

} // namespace

CliExit RunMac(const ParsedArgs& args, CliContext& context)
{
    const bool next = args.Has(QStringLiteral("--next"));
    CheckMacArguments(args, next);
    // The next free address is held from reading the file to writing it
    // back, so that another bench cannot give it out too.
    std::optional<HeldNextMac> held;
    const NextMac* plan = nullptr;
    MacOctets mac{};
    if (next) {
        held.emplace(MacAllocationPath(args, context), context.LockWait);
        plan = &held->Next();
        mac = plan->Mac;
    } else {
        const MacAllocation allocation = LoadMacAllocation(MacAllocationPath(args, context));
        mac = AllocationMac(allocation, args.Positional[0], args.Positional[1], CliExit::Usage);
    }

    const auto session = ConnectToUnit(context, args);
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
        held->Commit();
        context.Out << "Next free address: " << MacText(plan->After) << '\n';
    }
    return CliExit::Success;
}

} // namespace vantrel::cli
