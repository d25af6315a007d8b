#pragma once

#include <QString>

#include <cstdint>

// The system calls behind the files that runs of the program share: who holds a file, and whether a
// name still leads to the file a run has open.

// Which file a name or a descriptor leads to; equal identities are the same file.
struct FileIdentity
{
    uint64_t device = 0;
    uint64_t inode = 0;
    bool valid = false;

    bool operator==(const FileIdentity &other) const
    {
        return valid && other.valid && device == other.device && inode == other.inode;
    }
    bool operator!=(const FileIdentity &other) const { return !(*this == other); }
};
FileIdentity identityOfPath(const QString &path);
FileIdentity identityOfDescriptor(int fd);

// Takes the advisory lock (flock) that marks a file as in use by this run; it goes with the
// descriptor, however the process ends. False when another run holds it.
bool holdFile(int fd);
// Whether another run holds the file's advisory lock (holdFile).
bool isHeldByAnotherRun(const QString &path);

// The process that holds a byte-range lock on the file (as the database engine takes them), or 0
// when none does or the file cannot be read.
int64_t lockingProcess(const QString &path);
// The program name of a running process ("meterlink"), empty when unknown.
QString processName(int64_t pid);
