#pragma once
// vantrel-cli against simulated units: the same subcommands, the same
// code, with a bench of software units in place of the USB link, so that
// everything vantrel-cli does can be tried without hardware. The units
// (their configurations, MAC addresses and faults) and a MAC allocation
// file of their own are kept in a state folder between commands, so that a
// read, a write and a read again see one unit. Every line printed is
// marked "[simulated] ", so that nobody takes it for a real unit's.

#include <QIODevice>
#include <QString>
#include <QStringList>
#include <QTextStream>

namespace vantrel::demo {

inline constexpr char kLineMark[] = "[simulated] ";

// The state folder: VANTREL_CLI_DEMO_STATE when set, else
// "vantrel-cli-demo-<user>" in the system's temporary folder.
QString DefaultStateFolder();

// Runs `args` as vantrel-cli would (or "setup", the demo's own subcommand)
// on the bench kept in `state`, printing marked lines to `out` and `err`;
// the exit code. Bytes for "-" go to `rawOut` unmarked.
int RunCliDemo(const QStringList& args, const QString& state, QTextStream& out, QTextStream& err, QIODevice* in,
               QIODevice* rawOut);

} // namespace vantrel::demo
