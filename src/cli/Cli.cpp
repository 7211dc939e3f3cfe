// vantrel-cli's dispatch: the first argument picks the subcommand, which
// parses the rest by its own table (CliOptions.h) and runs; what it throws
// becomes a message on the error stream and the exit code.

#include "cli/Cli.h"

#include "cli/CliCommands.h"
#include "cli/CliHelp.h"
#include "common/Version.h"

#include <algorithm>

namespace vantrel {

using namespace cli;

namespace {

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
        {NewSpec(), RunNew},
        {CommissionSpec(), RunCommission},
    };
    return commands;
}

// "-h" or "--help" anywhere before "--", whatever else is wrong.
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

namespace cli {

const std::vector<CommandSpec>& CommandSpecs()
{
    static const std::vector<CommandSpec> specs = [] {
        std::vector<CommandSpec> list;
        for (const Command& command : Commands())
            list.push_back(command.Spec);
        return list;
    }();
    return specs;
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

} // namespace cli

QString CliUsage()
{
    return ProgramHelp();
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
    if (name == QStringLiteral("--version") || name == QStringLiteral("-V")) {
        context.Out << QStringLiteral("vantrel-cli ") << ToolVersion() << '\n';
        return finish(CliExit::Success);
    }
    if (name == QStringLiteral("--help") || name == QStringLiteral("-h")) {
        context.Out << CliUsage();
        return finish(CliExit::Success);
    }
    // "help" alone is the general help, "help SUBCOMMAND" that subcommand's.
    if (name == QStringLiteral("help")) {
        if (args.size() == 1 || (args.size() == 2 && (args[1] == QStringLiteral("--help") || args[1] == QStringLiteral("-h")))) {
            context.Out << CliUsage();
            return finish(CliExit::Success);
        }
        const auto asked = std::find_if(Commands().begin(), Commands().end(),
                                        [&](const Command& command) { return command.Spec.Name == args[1]; });
        if (args.size() == 2 && asked != Commands().end()) {
            context.Out << CommandHelp(asked->Spec);
            return finish(CliExit::Success);
        }
        if (args.size() > 2)
            context.Err << QStringLiteral("vantrel-cli help: takes one subcommand, not %1\n").arg(args.size() - 1);
        else
            context.Err << QStringLiteral("vantrel-cli help: unknown subcommand '%1'\n").arg(args[1]);
        context.Err << QStringLiteral("Try 'vantrel-cli --help'.\n");
        return finish(CliExit::Usage);
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
