#pragma once
// vantrel-cli's exit codes and what each one means: the one table that the
// program's --help, its man page and docs/cli.md show (a test holds the
// page to it). A failure ends a subcommand with a CliFailure, which carries
// its code and its message.

#include "protocol/UnitSession.h"

#include <QString>

#include <exception>
#include <span>
#include <string>
#include <utility>

namespace vantrel {

enum class CliExit : int {
    Success = 0,
    Failure = 1,
    Usage = 2,
    NoUnit = 3,
    ProgramMode = 4,
    NoAccess = 5,
    NoAnswer = 6,
    CheckFailed = 7,
    BadFile = 8,
    Locked = 9,
    Interrupted = 130,
};

struct ExitCodeText {
    CliExit Code;
    // One sentence; `words` in backquotes are what is typed or printed
    // (the help drops the quotes, the man page sets them in bold).
    const char* Meaning;
};

// Every code, in ascending order.
std::span<const ExitCodeText> ExitCodeTexts();

// The code that ends a subcommand whose exchange with the unit failed.
CliExit ExitCodeFor(SessionFailure failure);

namespace cli {

// Ends a subcommand: `Message` (one or more lines) goes to the error
// stream and `Code` is the program's exit code.
class CliFailure : public std::exception {
public:
    CliFailure(CliExit code, QString message) : Code(code), Message(std::move(message)), text_(Message.toStdString()) {}
    const char* what() const noexcept override { return text_.c_str(); }
    CliExit Code;
    QString Message;

private:
    std::string text_;
};

} // namespace cli
} // namespace vantrel
