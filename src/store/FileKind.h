#pragma once

#include <QString>

// Table files and saves work on regular files only. Saving over a device node, FIFO or socket would
// replace it with a plain file (as root even the system's /dev/null), and reading one either blocks
// or reads endless bytes; a folder cannot be either.

// What fileName leads to once symbolic links are followed, when that is not a regular file: "a
// character device", "a FIFO", "a folder" ..., with the place a link leads to ("/dev/zero, a
// character device"). Empty when it is a regular file or nothing exists under that name.
QString notRegularFileKind(const QString &fileName);

// Why a save (or log) target that is not a regular file is refused ("it is not a regular file but a
// FIFO; ..."), to follow the name and a colon; empty when fileName may be written.
QString saveTargetProblem(const QString &fileName);

// Whether both names lead to the same existing file (following links; a hard link is the same file).
bool sameFile(const QString &a, const QString &b);
