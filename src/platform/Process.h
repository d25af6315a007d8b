#pragma once

#include <cstdint>

namespace platform {

std::int64_t currentProcessId();

// Whether a process with this id is running (one owned by another user counts): a lock whose
// owner is gone may be taken over.
bool processIsAlive(std::int64_t pid);

} // namespace platform
