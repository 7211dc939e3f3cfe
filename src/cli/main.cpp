// vantrel-cli's process entry: QtCore only, so it starts on a machine
// without a display. Ctrl-C sets the interrupt flag, which the exchanges
// look at while they wait for the unit; a wait broken by the signal ends at
// once.

#include "cli/Cli.h"
#include "common/FixedPaths.h"
#include "device/HidapiBackend.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileDevice>
#include <QTextStream>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <signal.h>
#endif

namespace {

std::atomic<bool> interrupted{false};

#ifdef Q_OS_WIN
BOOL WINAPI OnConsoleControl(DWORD event)
{
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        interrupted = true;
        return TRUE;
    }
    return FALSE;
}

void CatchInterrupt()
{
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}
#else
void OnInterrupt(int)
{
    interrupted = true;
}

// Without SA_RESTART, so that a read waiting for the unit returns at once.
// A script's kill (SIGTERM) and a closed terminal (SIGHUP) stop it as
// Ctrl-C does: at the next safe point, with the unit's line recorded.
void CatchInterrupt()
{
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
}
#endif

// A result that did not reach standard output or a message that did not
// reach standard error (a full disk, a closed pipe) is a failure, as for
// the shell's own tools: said on standard error where it still can be, and
// exit code 1 unless the subcommand failed already.
int CheckedExit(int code, QTextStream& out, QTextStream& err)
{
    out.flush();
    err.flush();
    errno = 0;
    const bool outFailed = out.status() == QTextStream::WriteFailed || std::fflush(stdout) != 0 || std::ferror(stdout);
    const int outErrno = errno;
    const bool errFailed = err.status() == QTextStream::WriteFailed || std::fflush(stderr) != 0 || std::ferror(stderr);
    if (!outFailed && !errFailed)
        return code;
    if (outFailed) {
        // The stream's own file knows why its write failed; else the C library.
        const auto* file = qobject_cast<const QFileDevice*>(out.device());
        const QString reason = file && file->error() != QFileDevice::NoError ? file->errorString()
                               : outErrno != 0 ? QString::fromLocal8Bit(std::strerror(outErrno))
                                               : QStringLiteral("cannot write");
        std::fprintf(stderr, "vantrel-cli: write error: %s\n", qPrintable(reason));
        std::fflush(stderr);
    }
    return code != 0 ? code : 1;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    CatchInterrupt();

    QTextStream out(stdout);
    QTextStream err(stderr);
    vantrel::HidapiBackend hid;
    vantrel::CliContext context{hid, out, err, FixedPaths::Production().MacAllocationFile};
    context.Interrupt = &interrupted;
    // Local time with its offset from UTC, so that records from sites in
    // other time zones (or across a change of summer time) sort correctly.
    context.Now = [] {
        const QDateTime now = QDateTime::currentDateTime();
        return now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODate);
    };
    return CheckedExit(vantrel::RunCli(app.arguments().mid(1), context), out, err);
}
