// vantrel-cli-docs: writes vantrel-cli's man page or its bash completion,
// for the build (src/cli/CMakeLists.txt); not installed.
//
//   vantrel-cli-docs man VERSION FILE
//   vantrel-cli-docs completion FILE

#include "cli/CliDocs.h"
#include "common/SaveWhole.h"

#include <QStringList>

#include <cstdio>

int main(int argc, char* argv[])
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    QString text;
    if (args.size() == 3 && args[0] == QStringLiteral("man")) {
        text = vantrel::cli::ManPage(args[1]);
    } else if (args.size() == 2 && args[0] == QStringLiteral("completion")) {
        text = vantrel::cli::BashCompletion();
    } else {
        std::fputs("usage: vantrel-cli-docs man VERSION FILE | completion FILE\n", stderr);
        return 2;
    }
    QString error;
    if (!vantrel::SaveWhole(args.last(), text.toUtf8(), &error)) {
        std::fprintf(stderr, "vantrel-cli-docs: cannot write %s: %s\n", qPrintable(args.last()), qPrintable(error));
        return 1;
    }
    return 0;
}
