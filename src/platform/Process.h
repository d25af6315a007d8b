#pragma once

#include <cstdint>
#include <string>

namespace platform {

std::int64_t currentProcessId();

// Whether a process with this id is running (one owned by another user counts): a lock whose
// owner is gone may be taken over.
bool processIsAlive(std::int64_t pid);

// The program name of a running process ("meterlink"), for saying who holds a file; empty when
// unknown. POSIX systems may cut it short (15 bytes on Linux).
std::string processName(std::int64_t pid);

} // namespace platform
