#pragma once
// What the parts of "vantrel-cli commission" share: the commissioning
// record on disk (CommissionRecordFile.cpp), one unit's commissioning
// (CommissionUnit.cpp), and the bench loop around them: unit after unit
// (Commission.cpp) or, with --parallel, every unit plugged in at once
// (CommissionParallel.cpp). Both loops plan a unit (CommissionPlan.cpp)
// and count and end a run (CommissionTally.cpp) the same way.

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
    CommissionEntry Trace; // the columns that are the same on every line: tool, station, configuration
};

QString AddressText(std::uint32_t address);

// The record, opened for each line so that it is never held open between
// units (a spreadsheet may look at it meanwhile), and held (FileLock) for
// each step that reads or writes it. A new record gets the header line; a
// file that is not a commissioning record is refused (CliFailure(BadFile))
// and never appended to; a record of six columns is appended to in six.
// Throws CliFailure(Failure) when it cannot be opened or a line cannot be
// appended, CliFailure(Locked) when another program holds it for longer
// than `lockWait`; a line that did not go out whole is taken back out.
// Append and Claim may be called from several threads.
class RecordFile {
public:
    RecordFile(QString path, std::chrono::milliseconds lockWait);
    ~RecordFile();
    const QString& Path() const { return path_; }
    RecordFormat Format() const { return format_; }
    void Append(const CommissionEntry& entry);
    // Appends a unit's line before its erase goes out, unless the record,
    // with every line other benches have added to it, lists `ip` or `mac`
    // as given already: then CliFailure(Usage) naming the line, and nothing
    // appended. The line is on the disk when this returns.
    void Claim(const CommissionEntry& entry, std::uint32_t ip, const std::optional<MacOctets>& mac);
    // The line that lists the address as given, as far as the record has
    // been read.
    std::optional<int> LineGiving(std::uint32_t ip) const;
    std::optional<int> LineGiving(const MacOctets& mac) const;
    // The highest IP address the record lists.
    std::optional<std::uint32_t> LastIp() const;
    // The refusal of an address the record lists in `line`.
    CliFailure Repeat(const QString& what, const QString& address, int line) const;

private:
    struct WriteFailure {
        CliExit Code;
        QString Reason;
    };
    struct Claimed {
        std::uint32_t Ip;
        std::optional<MacOctets> Mac;
    };
    struct Batch;
    void Add(const CommissionEntry& entry, const std::optional<Claimed>& claim);
    void AppendBatch(Batch& batch);
    std::optional<QString> ReadNewLines(QFile& file); // under mutex_
    std::optional<QString> Write(QFile& file, const QByteArray& bytes, bool durable = false);

    QString path_;
    std::chrono::milliseconds lockWait_;
    RecordFormat format_ = RecordFormat::Traced;
    mutable std::mutex mutex_; // guards what follows
    std::condition_variable written_;
    std::shared_ptr<Batch> gathering_; // lines waiting for the write under way
    bool writing_ = false;
    GivenAddresses given_; // what the lines read so far list
    qint64 readUpTo_ = 0;  // the bytes read so far, up to a line break
    int nextLine_ = 1;     // the number of the line that starts there
};

// What one unit gets.
struct UnitPlan {
    int Number = 0;
    std::uint32_t Ip = 0;
    ConfigRecord Record{};                 // the configuration with this unit's IP address
    std::optional<MacOctets> MacAnnounced; // with --mac-next: the address the operator was told it would get
    std::optional<HidInterfaceInfo> Unit;  // this unit (--parallel); else the one found
};

// Unit `number`'s plan: the bench's configuration with `ip` in it.
UnitPlan PlanUnit(const Bench& bench, int number, std::uint32_t ip, std::optional<HidInterfaceInfo> unit = {});

// The end of a run whose subnet has no host address left: "No IP address
// left: 10.0.0.254 was the last host address of the subnet ...".
CliFailure NoIpAddressLeft(const Bench& bench);

// What every unit of a bench shares.
struct UnitHooks {
    RecordFile& Record;
    const CommissionEntry& Trace; // the columns that are the same on every line
    MacSupply* Macs = nullptr;    // --mac-next
    // Progress of the unit: "writing the configuration", "MAC address ...",
    // "reading back"; the session tells who the unit is once it has said.
    std::function<void(const UnitSession&, const QString&)> Progress = {};
};

// How it went.
struct UnitOutcome {
    CommissionEntry Entry;
    bool Vanished = false; // gone before it could be opened: nothing to record
    bool Commissioned = false;
    bool IpUsed = false; // its line before the erase is in the record: the address is spent
    bool Interrupted = false;
    std::optional<MacOctets> MacUnconfirmed; // sent, not confirmed: it may be in the unit
    // Reserved and never sent. It goes back (HandBackUnsentMac) only once
    // the unit's last line, which marks it unused, is in the record: until
    // then the unit's first line lists it as reserved, and a unit that took
    // it back at once would be refused it as given before.
    std::optional<MacOctets> MacUnsent;
    QStringList Details;            // lines for the operator after "Unit N: result"
    std::optional<CliFailure> Stop; // ends the loop once recorded
};

// Writes the plan's configuration to the unit that is plugged in and gives
// it the next MAC address from the supply (both reserved, and a line in the
// record naming them, before the erase goes out), then reads it back to
// check both. Every failure ends up in the outcome, none is thrown.
UnitOutcome CommissionUnit(CliContext& context, std::chrono::milliseconds timeout, const UnitPlan& plan,
                          const UnitHooks& hooks);

// After the unit's last line is in the record: its unsent MAC address goes
// back to the file or to the bench's next unit, and its details say which.
void HandBackUnsentMac(UnitOutcome& outcome, MacSupply* macs);

// How a bench went, for its last line.
struct Tally {
    int Commissioned = 0;
    int Failed = 0;
    QStringList Unconfirmed; // MAC addresses sent and not confirmed
    QStringList Gaps;        // reserved, never sent, and not back in the file
    void Count(const UnitOutcome& outcome);
    // "3 commissioned, 1 failed, 1 unconfirmed MAC address (00.04.A3.01.10.00)"
    QString Summary() const;
    // Once the run has ended: the MAC addresses handed back and not taken
    // again go back to the allocation file, or are counted as gaps; then
    // Summary() and "; the next IP address is ..." when one is left.
    QString Close(MacSupply* macs, const std::optional<std::uint32_t>& next);
    // The last line: "Done: " and Close().
    QString Done(MacSupply* macs, const std::optional<std::uint32_t>& next);
};

// How an interrupted unit is named: "unit 3 (serial number 4714)", before
// it said its serial number "unit 5 (/dev/hidraw7)" with its path, else
// "unit 5".
QString InterruptedUnit(int number, const std::string& serialNumber, const QString& path = {});

// " The next IP address is 10.0.0.36.", or nothing when the subnet has
// none left (never the address past its last host).
QString NextIpSentence(const std::optional<std::uint32_t>& next);

// "Interrupted: unit 3 (...), unit 5 (...) were being commissioned;
// recorded in bench.csv." and NextIpSentence(next).
QString InterruptedWhileCommissioning(const QStringList& units, bool allRecorded, const QString& record,
                                      const std::optional<std::uint32_t>& next);

// "Interrupted while waiting for unit 5; no unit was being commissioned."
// ("for units" without a number), and NextIpSentence(next).
QString InterruptedWhileWaiting(const std::optional<int>& number, const std::optional<std::uint32_t>& next);

// "unit 3", or with --count "unit 3 of 10"; "unit 4, 3 of 10" when a unit
// that failed took a number: `place` counts the units that are to be
// commissioned, this one included.
QString UnitOf(int number, long long place, const std::optional<long long>& count);

// commission --parallel: every unit plugged in, each in its own session,
// until --count units are commissioned, a fault of the whole bench, or
// Ctrl-C (CommissionParallel.cpp).
CliExit RunParallelBench(const Bench& bench, RecordFile& record, MacSupply* macs, CliContext& context);

} // namespace vantrel::cli
