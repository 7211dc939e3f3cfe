// What a newcomer and a script expect of any command: --version, help
// SUBCOMMAND, a failure to write the output reported as a failure, and a
// man page with the usual sections. The programs' --version and the
// write errors are the built programs' own, so these start them.

#include "cli/Cli.h"
#include "cli/CliDocs.h"
#include "cli/CliHelp.h"
#include "common/FixedPaths.h"
#include "common/Version.h"
#include "support/CliHarness.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

using namespace vantrel;

namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

TEST(CliConventions, VersionAndHelpSubcommand)
{
    const QString tryHelp = S("Try 'vantrel-cli --help'.\n");
    const struct {
        const char* name;
        QStringList args;
        int code;
        QString out, err;
    } cases[] = {
        {"version", Args({"--version"}), 0, S("vantrel-cli ") + ToolVersion() + S("\n"), {}},
        {"short version", Args({"-V"}), 0, S("vantrel-cli ") + ToolVersion() + S("\n"), {}},
        {"help alone", Args({"help"}), 0, CliUsage(), {}},
        {"help --help", Args({"help", "--help"}), 0, CliUsage(), {}},
        {"help of no subcommand", Args({"help", "nosuch"}), 2, {},
         S("vantrel-cli help: unknown subcommand 'nosuch'\n") + tryHelp},
        {"help of two", Args({"help", "read", "write"}), 2, {},
         S("vantrel-cli help: takes one subcommand, not 2\n") + tryHelp},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CliHarness h;
        const CliRun run = h.Run(c.args);
        EXPECT_EQ(run.Code, c.code);
        EXPECT_EQ(run.Out, c.out);
        EXPECT_EQ(run.Err, c.err);
    }
    // help SUBCOMMAND is SUBCOMMAND --help, for each of them.
    for (const cli::CommandSpec& spec : cli::CommandSpecs()) {
        SCOPED_TRACE(spec.Name.toStdString());
        CliHarness h;
        const CliRun help = h.Run({S("help"), spec.Name});
        EXPECT_EQ(help.Code, 0);
        EXPECT_EQ(help.Out, h.Run({spec.Name, S("--help")}).Out);
        EXPECT_EQ(help.Out, cli::CommandHelp(spec));
    }
}

// The man page: the usual sections in the usual order, the MAC allocation
// file where the program looks for it, and roff that groff takes without
// a warning.
TEST(CliConventions, TheManPageHasTheUsualSectionsAndIsCleanRoff)
{
    const QString page = cli::ManPage(S("1.0"));
    qsizetype at = 0;
    for (const char* section : {".SH NAME\n", ".SH SYNOPSIS\n", ".SH DESCRIPTION\n", ".SH SUBCOMMANDS\n",
                                ".SH \"EXIT STATUS\"\n", ".SH ENVIRONMENT\n", ".SH FILES\n", ".SH EXAMPLES\n",
                                ".SH \"SEE ALSO\"\n"}) {
        const qsizetype found = page.indexOf(S(section), at);
        EXPECT_GT(found, at) << section << " missing or out of order";
        at = std::max(at, found);
    }
#ifdef Q_OS_LINUX
    const QString fixed = FixedPaths::Production().MacAllocationFile;
    EXPECT_TRUE(page.contains(S("\\fI~/") + QDir::home().relativeFilePath(fixed) + S("\\fR\n"))) << fixed.toStdString();
#endif
    const QString groff = QStandardPaths::findExecutable(S("groff"));
    if (groff.isEmpty())
        GTEST_SKIP() << "no groff to check the roff with";
    QProcess process;
    process.start(groff, {S("-man"), S("-ww"), S("-z")});
    ASSERT_TRUE(process.waitForStarted());
    process.write(page.toUtf8());
    process.closeWriteChannel();
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.readAllStandardError(), "");
    EXPECT_EQ(process.exitCode(), 0);
}

#ifdef VANTREL_CLI

struct ProgramRun {
    int Code = -1;
    QByteArray Out, Err;
};

// `program` started without a display; standard output or error to a file
// when one is named.
ProgramRun Start(const QString& program, const QStringList& args, const QString& outFile = {},
                 const QString& errFile = {})
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(S(name));
    process.setProcessEnvironment(environment);
    if (!outFile.isEmpty())
        process.setStandardOutputFile(outFile);
    if (!errFile.isEmpty())
        process.setStandardErrorFile(errFile);
    process.start(program, args);
    ProgramRun run;
    if (!process.waitForFinished(20000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.Code = process.exitCode();
    run.Out = process.readAllStandardOutput();
    run.Err = process.readAllStandardError();
    return run;
}

TEST(CliConventions, EveryProgramPrintsItsVersionWithoutADisplay)
{
    const std::pair<const char*, const char*> programs[] = {
        {VANTREL_CLI, "vantrel-cli"},
        {VANTREL_WINDOW, "vantrel"},
        {VANTREL_DEMO, "vantrel-demo"},
#ifdef VANTREL_VIRTUAL_UNIT
        {VANTREL_VIRTUAL_UNIT, "quorvex-virtual-unit"},
#endif
    };
    for (const auto& [path, name] : programs) {
        SCOPED_TRACE(name);
        const ProgramRun run = Start(S(path), {S("--version")});
        EXPECT_EQ(run.Code, 0);
        EXPECT_EQ(run.Out, QByteArray(name) + ' ' + ToolVersion().toUtf8() + '\n');
        EXPECT_EQ(run.Err, "");
    }
}

// As the shell's own tools: output that cannot be written is a failure,
// said on standard error; a subcommand's own failure keeps its code.
TEST(CliConventions, AFullStandardOutputIsAFailure)
{
    const QString full = S("/dev/full");
    if (!QFile::exists(full))
        GTEST_SKIP() << "no /dev/full here";
    const QByteArray noSpace = "vantrel-cli: write error: No space left on device\n";
    const struct {
        const char* name;
        QStringList args;
        bool outFull, errFull;
        int code;
        QByteArray err;
    } cases[] = {
        {"help", Args({"--help"}), true, false, 1, noSpace},
        {"version", Args({"--version"}), true, false, 1, noSpace},
        {"subcommand help", Args({"help", "read"}), true, false, 1, noSpace},
        {"usage error, messages lost", Args({"nosuch"}), false, true, 2, ""},
        {"nothing written", Args({"help", "nosuch"}), true, false, 2,
         "vantrel-cli help: unknown subcommand 'nosuch'\nTry 'vantrel-cli --help'.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ProgramRun run = Start(S(VANTREL_CLI), c.args, c.outFull ? full : QString(), c.errFull ? full : QString());
        EXPECT_EQ(run.Code, c.code);
        EXPECT_EQ(run.Err, c.err);
    }
}

#endif

} // namespace
