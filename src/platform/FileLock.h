#pragma once

#include "platform/File.h"

#include <cstdint>
#include <string>

namespace platform {

// An advisory lock on a whole file that lives as long as the handle: a program that is killed
// lets go of it. A second handle, in this process or another, cannot take it meanwhile.
enum class LockResult
{
    Locked,
    HeldElsewhere,
    Failed
};

LockResult tryLockExclusive(File &file);
void unlock(File &file);

// The process that holds a byte-range lock on the file `path` (as a database engine takes them, past
// the end of the file too), or 0 when none does, the file cannot be read, or the system cannot say
// (Windows names no lock's owner).
std::int64_t lockingProcess(const std::string &path);

} // namespace platform
