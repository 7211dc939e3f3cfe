// new: a complete configuration to start from.

#include "cli/CliCommands.h"

#include <QFile>
#include <QFileInfo>

namespace vantrel::cli {

namespace {
const QString kForceOption = QStringLiteral("--force");
} // namespace

CommandSpec NewSpec()
{
    return {.Name = QStringLiteral("new"),
            .Arguments = QStringLiteral("FILE"),
            .Summary = QStringLiteral("Write a complete configuration to start from."),
            .Description = {QStringLiteral("FILE gets every field of a configuration, with the values a fresh "
                                           "window starts with (its factory defaults): in the JSON form when its "
                                           "name ends in .json, as a data file when it ends in .dat. An existing "
                                           "FILE is left as it is unless --force is given."),
                            QStringLiteral("Then edit it (the JSON form names each field after the window's "
                                           "caption) and write it to the unit: vantrel-cli write FILE. write "
                                           "checks it as the window checks what it writes and names any value "
                                           "that is wrong.")},
            .Options = {{kForceOption, QString(), QStringLiteral("replace FILE if it exists")}},
            .MinPositional = 1,
            .MaxPositional = 1,
            .FileArguments = true};
}

CliExit RunNew(const ParsedArgs& args, CliContext& context)
{
    const QString& path = args.Positional[0];
    ConfigFileTypeOf(path); // .dat or .json, before anything is made
    // Without --force the name is taken first, as an empty file that only
    // this program can have made: a file of that name that appears between
    // a look and the write is never replaced.
    bool taken = false;
    if (!args.Has(kForceOption)) {
        QFile placeholder(path);
        taken = placeholder.open(QIODevice::WriteOnly | QIODevice::NewOnly);
        if (!taken && (QFileInfo::exists(path) || QFileInfo(path).isSymLink()))
            throw CliFailure(CliExit::Usage,
                             QStringLiteral("%1 already exists; nothing was written. Give --force to replace it.")
                                 .arg(path));
        // Any other reason the file cannot be made, SaveConfig names.
    }
    try {
        SaveConfig(path, ConfigDocument{FactoryRecord(), {}});
    } catch (const CliFailure&) {
        if (taken)
            QFile::remove(path);
        throw;
    }
    context.Out << "Written: " << path << '\n';
    return CliExit::Success;
}

} // namespace vantrel::cli
