#pragma once
// What the parts of "vantrel-cli commission" share: the commissioning
// record on disk (CommissionRecordFile.cpp), one unit's commissioning
// (CommissionUnit.cpp), and the bench loop around them: unit after unit
// (Commission.cpp) or, with --parallel, every unit plugged in at once
// (CommissionParallel.cpp).

#include "cli/CliSupport.h"
#include "cli/CommissionRecord.h"
#include "config/AddressRange.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class QFile;

namespace vantrel::cli {

// What the arguments set up, all of it checked before the first unit.
struct Bench {
    ConfigRecord Config{};
    std::uint32_t First = 0; // --ip-from
    HostRange Hosts;
    QString Subnet; // "10.1.2.0/255.255.255.0"
    std::optional<long long> Count;
    bool MacNext = false;
    QString MacPath;
    std::chrono::milliseconds Timeout{};
};

QString AddressText(std::uint32_t address);

// The record, opened for each line so that it is never held open between
// units (a spreadsheet may look at it meanwhile), and held (FileLock) for
// each step that reads or writes it. A new record gets the header line.
// Throws CliFailure(Failure) when it cannot be opened or a line cannot be
// appended, CliFailure(Locked) when another program holds it for longer
// than `lockWait`; a line that did not go out whole is taken back out.
// Append may be called from several threads.
class RecordFile {
public:
    RecordFile(QString path, std::chrono::milliseconds lockWait);
    ~RecordFile();
    const QString& Path() const { return path_; }
    void Append(const CommissionEntry& entry);

private:
    struct WriteFailure {
        CliExit Code;
        QString Reason;
    };
    struct Batch;
    std::optional<WriteFailure> AppendLines(QByteArray lines);
    std::optional<QString> Write(QFile& file, const QByteArray& bytes);

    QString path_;
    std::chrono::milliseconds lockWait_;
    std::mutex mutex_; // guards what follows
    std::condition_variable written_;
    std::shared_ptr<Batch> gathering_; // lines waiting for the write under way
    bool writing_ = false;
};

// What one unit gets.
struct UnitPlan {
    int Number = 0;
    std::uint32_t Ip = 0;
    ConfigRecord Record{};                 // the configuration with this unit's IP address
    std::optional<QString> MacFile;        // with --mac-next: the allocation file
    std::optional<MacOctets> MacAnnounced; // the address the operator was told it would get
    std::optional<HidInterfaceInfo> Unit;  // this unit (--parallel); else the one found
};

// The MAC steps of the units of one parallel bench take turns here before
// the allocation file's own lock (which within one program would be taken
// in turn only by polling): a unit waiting for its turn wakes as soon as it
// comes. A turn lasts one exchange and the wait for the file's lock, each
// with its time-out.
struct MacTurns {
    std::mutex Turn;
    bool Blocked = false; // under Turn: the file failed an earlier unit; no more addresses from it
};

struct UnitHooks {
    MacTurns* Macs = nullptr; // --parallel
    // Progress of the unit: "writing the configuration", "MAC address ...",
    // "reading back"; the session tells who the unit is once it has said.
    std::function<void(const UnitSession&, const QString&)> Progress = {};
};

// How it went.
struct UnitOutcome {
    CommissionEntry Entry;
    bool Vanished = false; // gone before it could be opened: nothing to record
    bool Commissioned = false;
    bool IpUsed = false; // the erase went out
    bool Interrupted = false;
    QStringList Details;            // lines for the operator after "Unit N: result"
    std::optional<CliFailure> Stop; // ends the loop once recorded
};

// Writes the plan's configuration to the unit that is plugged in, gives it
// the planned MAC address (and advances the allocation file once the unit
// has confirmed it), and reads it back to check both. Every failure ends
// up in the outcome, none is thrown.
UnitOutcome CommissionUnit(CliContext& context, std::chrono::milliseconds timeout, const UnitPlan& plan,
                          const UnitHooks& hooks = {});

// commission --parallel: every unit plugged in, each in its own session,
// until --count units are commissioned, a fault of the whole bench, or
// Ctrl-C (CommissionParallel.cpp).
CliExit RunParallelBench(const Bench& bench, RecordFile& record, CliContext& context);

} // namespace vantrel::cli
