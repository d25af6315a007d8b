#pragma once

#include "platform/Error.h"
#include "platform/File.h"

#include <string>

namespace platform {

// A complete file takes the name `to` in one step, replacing what is there: a reader or a crash
// sees either the old file or the new one. `from` must be on the same volume and synced first. The
// new name is made durable too.
Error replaceFile(const std::string &from, const std::string &to);

// A complete file takes the additional name `to` only if that name is free (Error::Kind::Exists
// otherwise), so two programs creating the same file never overwrite each other's. Remove `from`
// afterwards if it is still there (a volume without hard links, on Windows, moves it instead).
Error publishFile(const std::string &from, const std::string &to);

// Gives `file` the access rights `target` has, or those of a new file where `target` does not exist:
// the contents that replace a file keep its rights. Nothing to do on Windows, where a renamed
// file keeps what its folder gives.
void takeAccessRightsOf(const std::string &target, File &file);

} // namespace platform
