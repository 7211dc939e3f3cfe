// vantrel-cli's process entry: QtCore only, so it starts on a machine
// without a display. Ctrl-C sets the interrupt flag, which the exchanges
// look at while they wait for the unit; a wait broken by the signal ends at
// once.

#include "cli/Cli.h"
#include "common/FixedPaths.h"
#include "device/HidapiBackend.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTextStream>

#include <atomic>
#include <cstdio>

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
    return vantrel::RunCli(app.arguments().mid(1), context);
}
