#pragma once

#include <string>

namespace platform {

// What went wrong in a system call, in the few kinds callers act on, with the system's own words
// (UTF-8) for the message the user sees.
struct Error
{
    enum class Kind
    {
        None,
        Exists,
        NotFound,
        AccessDenied,
        Busy,
        NoRoom,      // the disk or the quota is full, or the file is as large as it may be
        InputOutput, // the device failed; from a terminal: its other side hung up
        Unavailable,
        Other
    };

    Kind kind = Kind::None;
    std::string message;

    explicit operator bool() const { return kind != Kind::None; }
};

// The error the last failed system call left in this thread (errno; GetLastError).
Error lastSystemError();
// The error a system code names (an errno value; a GetLastError value on Windows, which is also what
// the table engine reports as its system error there).
Error systemError(long code);

} // namespace platform
