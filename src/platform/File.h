#pragma once

#include "platform/Error.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

#ifdef _WIN32
using NativeHandle = void *;
inline const NativeHandle kNoHandle = reinterpret_cast<void *>(-1);
#else
using NativeHandle = int;
inline const NativeHandle kNoHandle = -1;
#endif

// An open file, serial port or terminal, closed when it goes. Files are opened so that other
// handles may still read, write, rename and remove them, as on POSIX.
class File
{
public:
    enum class Access
    {
        Read,             // an existing file
        ReadNonBlocking,  // a device or pipe that must not hold up the event loop
        Write,            // an existing file, kept as it is
        CreateNew,        // fails with Error::Kind::Exists if the name is taken
        CreateOrTruncate, // an existing plain file is emptied
    };

    File() = default;
    ~File();
    File(File &&other) noexcept;
    File &operator=(File &&other) noexcept;
    File(const File &) = delete;
    File &operator=(const File &) = delete;

    static File open(const std::string &path, Access access, Error *error);
    // The program's standard input, not closed with the object.
    static File standardInput();
    // The program's standard output and error, not closed with the object.
    static File standardOutput();
    static File standardError();
    // Takes over a handle opened elsewhere; closed with the object.
    static File adopt(NativeHandle handle) { return File(handle, true); }

    bool isOpen() const;
    NativeHandle handle() const { return m_handle; }
    void close();

    // Up to `size` bytes; 0 at the end, -1 on failure. Interrupted calls are repeated.
    std::ptrdiff_t read(void *data, std::size_t size, Error *error);
    // All `size` bytes, or the error that stopped it; `written` (if given) says how many went out
    // before it.
    Error write(const void *data, std::size_t size, std::size_t *written = nullptr);
    // All `size` bytes from `offset`, where the file stands left as it was.
    Error writeAt(const void *data, std::size_t size, std::int64_t offset, std::size_t *written = nullptr);
    // Where the next write goes; -1 where the file has no position (a pipe, a terminal).
    std::int64_t position() const;
    // Cuts or extends the file to `size` bytes; where the file stands is left as it was.
    Error resize(std::int64_t size);
    // Whether this is a plain file (not a terminal, pipe or device).
    bool isRegular() const;
    // Whether this is a terminal (a serial port, a pseudo-terminal, a console).
    bool isTerminal() const;

    // Hands the written bytes to the disk and waits until they are there.
    Error sync();
    // Starts writing `length` bytes from `offset` out to the disk without waiting, so that a later
    // sync waits for little. Only a hint.
    void startWriteback(std::int64_t offset, std::int64_t length);

private:
    explicit File(NativeHandle handle, bool owned) : m_handle(handle), m_owned(owned) {}

    NativeHandle m_handle = kNoHandle;
    bool m_owned = true;
};

// How many times this process has synced a file: a test that a new file is made
// durable before it takes a name counts them.
std::uint64_t syncCount();

} // namespace platform
