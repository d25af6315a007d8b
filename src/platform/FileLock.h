#pragma once

#include "platform/File.h"

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

} // namespace platform
