#pragma once
// vantrel-cli: the tool's exchanges from a terminal or a script, on QtCore
// alone (it starts and runs on a machine without a display). Each
// subcommand is a function of its arguments and a CliContext, which holds
// everything that reaches outside (the HID layer, the output streams, the
// MAC allocation file's place, the interrupt flag, the clock), so the tests
// run it in-process against simulated units.

#include "device/HidBackend.h"

#include <QString>
#include <QStringList>
#include <QTextStream>

#include <atomic>
#include <chrono>
#include <functional>

namespace vantrel {

// The documented exit codes (README, "Commissioning many units").
enum class CliExit : int {
    Success = 0,
    Failure = 1,          // anything else: a write that failed, a unit that went away, a file not written
    Usage = 2,            // unknown subcommand or option, missing or malformed argument
    NoUnit = 3,           // "Cannot find QUORVEX"
    ProgramMode = 4,      // "QUORVEX is in Program Mode"
    NoAccess = 5,         // a unit is there but cannot be opened
    NoAnswer = 6,         // no reply within the time-out
    CheckFailed = 7,      // a read-back or a diff found differences; a unit running another application
    BadFile = 8,          // a data, JSON or MAC allocation file that cannot be used
    Interrupted = 130,    // Ctrl-C
};

struct CliContext {
    HidBackend& Hid;
    QTextStream& Out; // results
    QTextStream& Err; // messages
    QString MacAllocationFile;
    // Set by Ctrl-C; commands stop at the next safe point once it is set.
    const std::atomic<bool>* Interrupt = nullptr;
    // How long to wait between looks at the device list (commission).
    std::chrono::milliseconds PollInterval{250};
    // Waits; tests replace it to drive plugging and unplugging.
    std::function<void(std::chrono::milliseconds)> Sleep = {};
    // The time stamped into the commissioning record.
    std::function<QString()> Now = {};
};

// Runs `args` (without the program name) and returns the exit code.
int RunCli(const QStringList& args, CliContext& context);

// The text of `vantrel-cli --help`.
QString CliUsage();

} // namespace vantrel
