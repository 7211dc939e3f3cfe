#pragma once
// An exclusive hold on a file that several programs read and rewrite (the
// MAC allocation file, the commissioning record), on this machine or on
// others sharing the folder: a lock file beside it, "<file>.lock", held for
// one step from reading the file to writing it back. A holder that died
// leaves a lock that the next program takes over.

#include <QLockFile>
#include <QString>

#include <chrono>

namespace vantrel {

// How long a program waits for another one that holds the file.
inline constexpr std::chrono::milliseconds kFileLockWait{10000};

class FileLock {
public:
    explicit FileLock(const QString& file);

    enum class Outcome {
        Taken,
        Held,         // another program held it for longer than the wait
        CannotCreate, // the lock file cannot be made: no such folder, no permission
    };

    // Takes the hold, waiting at most `wait` for another holder. Else the
    // reason in `whyNot`: "another program holds it: vantrel-cli, process
    // 4711 on bench-2", "its lock file /x/y.lock cannot be created: the
    // folder /x does not exist".
    Outcome TakeFor(std::chrono::milliseconds wait, QString& whyNot);
    bool Take(std::chrono::milliseconds wait, QString& whyNot) { return TakeFor(wait, whyNot) == Outcome::Taken; }

    QString LockFileName() const { return name_; }

private:
    QString name_;
    QLockFile lock_;
};

} // namespace vantrel
