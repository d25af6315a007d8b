#pragma once

#include "platform/File.h"
#include "platform/FileIdentity.h"

#include <QString>

#include <cstdint>

// The files that runs of the program share: who holds a file, and whether a name still leads to the
// file a run has open.

// Which file a name or an open file leads to; equal identities are the same file.
struct FileIdentity
{
    platform::FileIdentity identity;
    bool valid = false;

    bool operator==(const FileIdentity &other) const
    {
        return valid && other.valid && identity == other.identity;
    }
    bool operator!=(const FileIdentity &other) const { return !(*this == other); }
};
FileIdentity identityOfPath(const QString &path);
FileIdentity identityOfFile(const platform::File &file);

// Takes the advisory lock that marks a file as in use by this run; it goes with the open file,
// however the process ends. False when another run holds it.
bool holdFile(platform::File &file);
// Whether another run holds the file's advisory lock (holdFile).
bool isHeldByAnotherRun(const QString &path);

// The process that holds a byte-range lock on the file (as the database engine takes them), or 0
// when none does or the file cannot be read.
int64_t lockingProcess(const QString &path);
// The program name of a running process ("meterlink"), empty when unknown.
QString processName(int64_t pid);
