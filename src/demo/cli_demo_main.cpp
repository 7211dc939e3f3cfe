// vantrel-cli-demo: vantrel-cli against a bench of simulated units kept in
// a state folder (CliDemo.h). QtCore only, as vantrel-cli.

#include "demo/CliDemo.h"

#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    QFile in, raw;
    in.open(stdin, QIODevice::ReadOnly);
    raw.open(stdout, QIODevice::WriteOnly | QIODevice::Unbuffered);
    return vantrel::demo::RunCliDemo(app.arguments().mid(1), vantrel::demo::DefaultStateFolder(), out, err, &in, &raw);
}
