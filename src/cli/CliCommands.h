#pragma once
// vantrel-cli's subcommands: each one's table of options and arguments and
// the function that runs it (Cli.cpp dispatches). Each checks everything it
// was given (arguments, files) before it talks to the unit, and sends every
// request through UnitSession, the one place the program sends requests
// from.

#include "cli/CliSupport.h"

namespace vantrel::cli {

CommandSpec ListSpec(); // CliList.cpp
CliExit RunList(const ParsedArgs& args, CliContext& context);
CommandSpec InfoSpec();
CliExit RunInfo(const ParsedArgs& args, CliContext& context);

CommandSpec ReadSpec(); // CliRead.cpp
CliExit RunRead(const ParsedArgs& args, CliContext& context);

CommandSpec WriteSpec(); // CliWrite.cpp
CliExit RunWrite(const ParsedArgs& args, CliContext& context);

CommandSpec MacSpec(); // CliMac.cpp
CliExit RunMac(const ParsedArgs& args, CliContext& context);

CommandSpec DiffSpec(); // CliFiles.cpp
CliExit RunDiff(const ParsedArgs& args, CliContext& context);
CommandSpec ConvertSpec();
CliExit RunConvert(const ParsedArgs& args, CliContext& context);

CommandSpec NewSpec(); // CliNew.cpp
CliExit RunNew(const ParsedArgs& args, CliContext& context);

CommandSpec CommissionSpec(); // Commission.cpp
CliExit RunCommission(const ParsedArgs& args, CliContext& context);

} // namespace vantrel::cli
