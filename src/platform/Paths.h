#pragma once

#include <string>

namespace platform {

// The system's own spelling of a path. Paths travel through the program as UTF-8; Windows only
// takes names outside the local code page as UTF-16, so they are converted at the last moment.
#ifdef _WIN32
using NativePath = std::wstring;
#else
using NativePath = std::string;
#endif

NativePath nativePath(const std::string &utf8);
std::string utf8Path(const NativePath &native);

} // namespace platform
