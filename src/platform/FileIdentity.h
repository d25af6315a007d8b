#pragma once

#include "platform/File.h"

#include <cstdint>
#include <string>

namespace platform {

// Which file a name leads to: the device and inode, the volume serial number and file index on
// Windows. Two names are the same file (a hard link, a symbolic link, a renamed file) when their
// identities are equal; a file's identity survives renames.
struct FileIdentity
{
    std::uint64_t device = 0;
    std::uint64_t file = 0;

    bool operator==(const FileIdentity &o) const { return device == o.device && file == o.file; }
    bool operator!=(const FileIdentity &o) const { return !(*this == o); }
};

// The identity of the file `path` leads to, following symbolic links; false if it cannot be read.
bool fileIdentity(const std::string &path, FileIdentity *identity);
// The identity of an open file, whatever names it has now.
bool fileIdentity(const File &file, FileIdentity *identity);
bool sameFile(const std::string &a, const std::string &b);

// What a name leads to once symbolic links are followed. Windows names a console or a serial port
// (NUL, COM1) a character device and a named pipe a FIFO; it has no block devices or sockets here.
enum class FileKind
{
    Missing, // nothing, or nothing that can be read
    Regular,
    Folder,
    CharacterDevice,
    BlockDevice,
    Fifo,
    Socket,
    Other
};
FileKind fileKind(const std::string &path);

} // namespace platform
