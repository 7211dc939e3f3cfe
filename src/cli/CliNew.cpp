// new: a complete configuration to start from.

#include "cli/CliCommands.h"

namespace vantrel::cli {

CommandSpec NewSpec()
{
    return {.Name = QStringLiteral("new"),
            .Arguments = QStringLiteral("FILE"),
            .Summary = QStringLiteral("Write a complete configuration to start from."),
            .Description = {},
            .Options = {},
            .MinPositional = 1,
            .MaxPositional = 1};
}

CliExit RunNew(const ParsedArgs& args, CliContext& context)
{
    SaveConfig(args.Positional[0], ConfigDocument{FactoryRecord(), {}});
    context.Out << "Written: " << args.Positional[0] << '\n';
    return CliExit::Success;
}

} // namespace vantrel::cli
