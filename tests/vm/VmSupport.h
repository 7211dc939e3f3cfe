#pragma once
// What the end-to-end tests inside the virtual machine share: child
// processes (quorvex-virtual-unit, vantrel-cli) whose output the tests wait
// on (Linux), the requests a unit's trace lists, and the configuration the
// virtual unit starts with.

#include "config/DataFile.h"
#include "support/UnitHarness.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#ifndef _WIN32
#include <signal.h>
#endif

#include <fstream>
#include <sstream>

namespace vantrel::vm {

inline const std::array<std::uint8_t, 6> kUnitMac{0x00, 0x04, 0xA3, 0xFF, 0x10, 0x0A};

inline QString TempPath(const char* name)
{
    return QDir::temp().filePath(QString::fromLatin1(name));
}

// The requests a trace file lists, in order.
inline std::vector<Report> TracedRequests(const QString& path)
{
    std::vector<Report> requests;
    std::ifstream in(path.toStdString());
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("request ", 0) != 0)
            continue;
        std::istringstream bytes(line.substr(line.find(':') + 1));
        Report r{};
        unsigned value = 0;
        for (std::size_t i = 0; i < r.size() && bytes >> std::hex >> value; ++i)
            r[i] = std::uint8_t(value);
        requests.push_back(r);
    }
    return requests;
}

inline void ExpectSameRequests(const std::vector<Report>& kernel, const std::vector<Report>& simulated)
{
    ASSERT_EQ(kernel.size(), simulated.size());
    for (std::size_t i = 0; i < kernel.size(); ++i)
        EXPECT_EQ(Hex(kernel[i]), Hex(simulated[i])) << "request " << i + 1;
}

#ifndef _WIN32
// A program running beside the test, its standard output and error merged.
// Ctrl-C (SIGINT) ends it; the destructor sends it if the test did not.
class ChildProcess {
public:
    ChildProcess(const QString& program, const QStringList& args)
    {
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start(program, args);
    }
    ~ChildProcess() { Stop(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    QString Output() const { return output_; }
    void Signal(int signal) const { ::kill(pid_t(process_.processId()), signal); }

    // True once `text` has appeared; false when the program ended or the
    // time ran out without it.
    bool WaitForOutput(const char* text, int timeoutMs = 20000)
    {
        return WaitUntil(
            [&] {
                output_ += QString::fromLocal8Bit(process_.readAll());
                return output_.contains(QString::fromLatin1(text)) || process_.state() == QProcess::NotRunning;
            },
            timeoutMs)
               && output_.contains(QString::fromLatin1(text));
    }

    // The exit code once the program has ended by itself; -1 when it did
    // not end in time (it is then stopped) or crashed.
    int WaitForExit(int timeoutMs)
    {
        const bool ended = process_.waitForFinished(timeoutMs);
        Stop();
        return ended && process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
    }

    // Ctrl-C, then, if that does not end it, a kill.
    int Stop()
    {
        if (process_.state() != QProcess::NotRunning) {
            Signal(SIGINT);
            if (!process_.waitForFinished(10000)) {
                process_.kill();
                process_.waitForFinished(5000);
            }
        }
        output_ += QString::fromLocal8Bit(process_.readAll());
        return process_.exitCode();
    }

private:
    QProcess process_;
    QString output_;
};

// quorvex-virtual-unit as a child process; it traces every request (into
// a file of its own when several run at once).
class VirtualUnitProcess : public ChildProcess {
public:
    explicit VirtualUnitProcess(const QStringList& args, const char* trace = "unit-trace.txt")
        : ChildProcess(QStringLiteral(VANTREL_VIRTUAL_UNIT), WithTrace(args, TempPath(trace))), trace_(TempPath(trace))
    {
        ready_ = WaitForOutput("ready;");
    }

    bool Ready() const { return ready_; }
    std::vector<Report> Requests() const { return TracedRequests(trace_); }

private:
    static QStringList WithTrace(QStringList args, const QString& trace)
    {
        QFile::remove(trace);
        return args << QStringLiteral("--trace") << trace;
    }

    QString trace_;
    bool ready_ = false;
};

#endif // _WIN32

// A data file holding SampleUnitConfig().
inline QString SampleDataFile()
{
    const QString path = TempPath("sample.dat");
    const DataFileImage image = EncodeDataFile(SampleUnitConfig());
    WriteFile(path, QByteArray(reinterpret_cast<const char*>(image.data()), int(image.size())));
    return path;
}

// The virtual unit holding SampleUnitConfig() and kUnitMac.
inline QStringList UnitArgs(QStringList extra = {})
{
    return QStringList{QStringLiteral("--config"), SampleDataFile(), QStringLiteral("--mac"),
                       QStringLiteral("00.04.A3.FF.10.0A")}
           + extra;
}

} // namespace vantrel::vm
