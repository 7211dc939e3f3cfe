#pragma once
// vantrel-cli: the tool's exchanges from a terminal or a script, on QtCore
// alone (it starts and runs on a machine without a display). Each
// subcommand is a function of its arguments and a CliContext, which holds
// everything that reaches outside (the HID layer, the output streams, the
// MAC allocation file's place, the interrupt flag, the clock), so the tests
// run it in-process against simulated units.

#include "cli/ExitCodes.h"
#include "common/FileLock.h"
#include "device/HidBackend.h"

#include <QString>
#include <QStringList>
#include <QSysInfo>
#include <QIODevice>
#include <QTextStream>

#include <atomic>
#include <chrono>
#include <functional>

namespace vantrel {

struct CliContext {
    HidBackend& Hid;
    QTextStream& Out; // results
    QTextStream& Err; // messages
    QString MacAllocationFile;
    // Set by Ctrl-C; commands stop at the next safe point once it is set.
    const std::atomic<bool>* Interrupt = nullptr;
    // How long to wait between looks at the device list (commission).
    std::chrono::milliseconds PollInterval{250};
    // How long to wait for another program that holds the MAC allocation
    // file or the commissioning record.
    std::chrono::milliseconds LockWait = kFileLockWait;
    // Waits between looks at the device list; tests set it to drive plugging
    // and unplugging. Unset, the program sleeps (commission --parallel:
    // until a unit's session ends, at most PollInterval).
    std::function<void(std::chrono::milliseconds)> Sleep = {};
    // The time stamped into the commissioning record.
    std::function<QString()> Now = {};
    // Standard input, and standard output for bytes (a .dat file to "-"),
    // which go out after what Out holds. Unset: "-" is refused.
    QIODevice* In = nullptr;
    QIODevice* RawOut = nullptr;
    // The station the record names: this machine's host name.
    QString Station = QSysInfo::machineHostName();
};

// Runs `args` (without the program name) and returns the exit code.
int RunCli(const QStringList& args, CliContext& context);

// The text of `vantrel-cli --help`: the subcommands and the exit codes.
QString CliUsage();

} // namespace vantrel
