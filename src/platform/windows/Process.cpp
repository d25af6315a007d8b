#include "platform/Process.h"
#include "platform/StopSignals.h"

#include "platform/Paths.h"

#include <windows.h>

#include <atomic>

namespace platform {

namespace {

std::atomic<bool> g_stop{false};
std::atomic<bool> g_hangUp{false};
HANDLE g_event = nullptr;

BOOL WINAPI onConsoleEvent(DWORD type)
{
    switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        break;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        if (!g_hangUp)
            return FALSE;
        break;
    default:
        return FALSE;
    }
    g_stop = true;
    SetEvent(g_event);
    // Windows ends the process as soon as this returns from a closing console (or after a few
    // seconds): the handler's thread waits, so that the program can finish as after Exit and end
    // itself first.
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT)
        Sleep(10000);
    return TRUE;
}

} // namespace

std::int64_t currentProcessId()
{
    return std::int64_t(GetCurrentProcessId());
}

bool processIsAlive(std::int64_t pid)
{
    if (pid <= 0)
        return false;
    const HANDLE h = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid));
    if (!h)
        return GetLastError() == ERROR_ACCESS_DENIED; // it exists, but belongs to someone else
    // Waiting rather than reading the exit code: a process may end with the code that means "still
    // active".
    const bool alive = WaitForSingleObject(h, 0) == WAIT_TIMEOUT;
    CloseHandle(h);
    return alive;
}

std::string processName(std::int64_t pid)
{
    const HANDLE h = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid));
    if (!h)
        return {};
    wchar_t path[MAX_PATH];
    DWORD size = MAX_PATH;
    // An ended process keeps its name while anyone holds it open.
    const bool ok =
        WaitForSingleObject(h, 0) == WAIT_TIMEOUT && QueryFullProcessImageNameW(h, 0, path, &size) != 0;
    CloseHandle(h);
    if (!ok)
        return {};
    // The file name without its folder and ".exe", as POSIX systems name a process.
    std::wstring name(path, size);
    name = name.substr(name.find_last_of(L"\\/") + 1);
    if (name.size() > 4 && _wcsicmp(name.c_str() + name.size() - 4, L".exe") == 0)
        name.resize(name.size() - 4);
    return utf8Path(name);
}

bool installStopHandlers(bool hangUp)
{
    if (!g_event)
        g_event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!g_event)
        return false;
    g_hangUp = hangUp;
    return SetConsoleCtrlHandler(onConsoleEvent, TRUE) != 0;
}

void removeStopHandlers()
{
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    if (g_event)
        CloseHandle(g_event);
    g_event = nullptr;
    g_stop = false;
}

bool stopRequested()
{
    return g_stop;
}

bool waitForStop(int milliseconds)
{
    if (!g_stop && g_event)
        WaitForSingleObject(g_event, DWORD(milliseconds < 0 ? 0 : milliseconds));
    return g_stop;
}

void *stopWaitHandle()
{
    return g_event;
}

void clearStopWait()
{
    if (g_event)
        ResetEvent(g_event);
}

void ignoreBrokenPipes() {}

} // namespace platform
