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

    // Takes the hold, waiting at most `wait` for another holder. False when
    // it could not be had, with the reason in `whyNot` ("another program
    // holds it: vantrel-cli, process 4711 on bench-2").
    bool Take(std::chrono::milliseconds wait, QString& whyNot);

    QString LockFileName() const { return name_; }

private:
    QString name_;
    QLockFile lock_;
};

} // namespace vantrel
