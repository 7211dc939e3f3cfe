#pragma once
// What the parts of "vantrel-cli commission" share: the commissioning
// record on disk (CommissionRecordFile.cpp), one unit's commissioning
// (CommissionUnit.cpp), and the bench loop around them (Commission.cpp).

#include "cli/CliSupport.h"
#include "cli/CommissionRecord.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <cstdint>
#include <optional>

class QFile;

namespace vantrel::cli {

// The record, opened for each line so that it is never held open between
// units (a spreadsheet may look at it meanwhile), and held (FileLock) for
// each step that reads or writes it. A new record gets the header line.
// Throws CliFailure(Failure) when it cannot be opened or a line cannot be
// appended, CliFailure(Locked) when another program holds it for longer
// than `lockWait`; a line that did not go out whole is taken back out.
class RecordFile {
public:
    RecordFile(QString path, std::chrono::milliseconds lockWait);
    const QString& Path() const { return path_; }
    void Append(const CommissionEntry& entry);

private:
    void Write(QFile& file, const QByteArray& bytes);

    QString path_;
    std::chrono::milliseconds lockWait_;
};

// What one unit gets.
struct UnitPlan {
    int Number = 0;
    std::uint32_t Ip = 0;
    ConfigRecord Record{};                // the configuration with this unit's IP address
    std::optional<MacAllocation> MacFile; // with --mac-next
    std::optional<NextMac> Mac;
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
UnitOutcome CommissionUnit(CliContext& context, std::chrono::milliseconds timeout, const UnitPlan& plan);

} // namespace vantrel::cli
