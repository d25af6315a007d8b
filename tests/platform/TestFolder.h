#pragma once

#include "platform/File.h"
#include "platform/Process.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

// A folder of the test's own under the system's temporary folder, removed with everything in it.
// Paths are UTF-8, as the program passes them.
class TestFolder
{
public:
    TestFolder()
    {
        static std::atomic<int> serial{0};
        m_path = std::filesystem::temp_directory_path() /
                 ("meterlink-platform-" + std::to_string(platform::currentProcessId()) + "-" +
                  std::to_string(serial++));
        std::filesystem::create_directories(m_path);
    }
    ~TestFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TestFolder(const TestFolder &) = delete;
    TestFolder &operator=(const TestFolder &) = delete;

    std::string path(const std::string &name) const { return m_path.u8string() + "/" + name; }

private:
    std::filesystem::path m_path;
};

inline std::filesystem::path fsPath(const std::string &utf8)
{
    return std::filesystem::u8path(utf8);
}

inline bool writeFile(const std::string &path, const std::string &text)
{
    platform::Error error;
    platform::File file = platform::File::open(path, platform::File::Access::CreateOrTruncate, &error);
    return file.isOpen() && !file.write(text.data(), text.size());
}

inline std::string readFile(const std::string &path)
{
    platform::File file = platform::File::open(path, platform::File::Access::Read, nullptr);
    std::string text;
    char chunk[256];
    std::ptrdiff_t n;
    while (file.isOpen() && (n = file.read(chunk, sizeof chunk, nullptr)) > 0)
        text.append(chunk, size_t(n));
    return text;
}

// Runs this test program again as a separate process with only the tests `filter` names and the
// environment variables `environment`; true if they passed.
inline bool runSelf(const std::string &self, const std::string &filter,
                    const std::vector<std::pair<const char *, std::string>> &environment)
{
#ifdef _WIN32
    for (const auto &[name, value] : environment)
        _putenv_s(name, value.c_str());
    // The command interpreter drops the outer quotes of a line that starts with one.
    const std::string line =
        "\"\"" + self + "\" --gtest_also_run_disabled_tests --gtest_filter=" + filter + "\"";
#else
    for (const auto &[name, value] : environment)
        setenv(name, value.c_str(), 1);
    const std::string line = "'" + self + "' --gtest_also_run_disabled_tests --gtest_filter=" + filter;
#endif
    return std::system(line.c_str()) == 0;
}

// This test program's own path.
inline std::string selfPath(const char *argv0)
{
#ifdef _WIN32
    (void)argv0;
    wchar_t buffer[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    return std::filesystem::path(std::wstring(buffer, n)).u8string();
#else
    return std::filesystem::absolute(argv0).string();
#endif
}
