#include "cli/ExitCodes.h"

namespace vantrel {

std::span<const ExitCodeText> ExitCodeTexts()
{
    static constexpr ExitCodeText kTexts[] = {
        {CliExit::Success, "success (`diff`: no differences; `commission`: `--count` units commissioned)"},
        {CliExit::Failure, "any other failure: the unit went away mid-exchange, a file could not be written "
                           "(`commission`: the record or the allocation file, or no IP address left)"},
        {CliExit::Usage, "usage: unknown subcommand or option, a missing or malformed argument, an option given "
                         "twice, an option value out of range, a failed address check, an address that the "
                         "commissioning record lists as given already"},
        {CliExit::NoUnit, "no unit: \"Cannot find QUORVEX\""},
        {CliExit::ProgramMode, "the unit is in program mode: \"QUORVEX is in Program Mode\""},
        {CliExit::NoAccess, "a unit is there but cannot be opened: \"Cannot open /dev/hidraw3: Permission denied\""},
        {CliExit::NoAnswer, "the unit did not answer within `--timeout`"},
        {CliExit::CheckFailed, "a check failed: the read-back differs, `diff` found differences, or the unit runs "
                               "another application (\"Application is not a QUORVEX Vantrel\")"},
        {CliExit::BadFile, "a data, JSON or MAC allocation file that cannot be used (missing, unreadable, its lock "
                           "file cannot be made), or a `--record` that is not a commissioning record"},
        {CliExit::Locked, "another program held the MAC allocation file or the commissioning record for longer "
                          "than 10 seconds; nothing was sent"},
        {CliExit::Interrupted, "interrupted (Ctrl-C)"},
    };
    return kTexts;
}

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

} // namespace vantrel
