#include "platform/Process.h"
#include "platform/StopSignals.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <unistd.h>

namespace platform {

namespace {

const int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
int g_pipe[2] = {-1, -1};
volatile std::sig_atomic_t g_stop = 0;

void onStopSignal(int)
{
    g_stop = 1;
    const int saved = errno;
    const char byte = 1;
    const ssize_t written = ::write(g_pipe[1], &byte, 1);
    (void)written; // a full pipe already holds a request
    errno = saved;
}

} // namespace

std::int64_t currentProcessId()
{
    return ::getpid();
}

bool processIsAlive(std::int64_t pid)
{
    if (pid <= 0)
        return false;
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

std::string processName(std::int64_t pid)
{
    std::FILE *comm = std::fopen(("/proc/" + std::to_string(pid) + "/comm").c_str(), "re");
    if (!comm)
        return {};
    char name[64] = {};
    const bool read = std::fgets(name, sizeof name, comm) != nullptr;
    std::fclose(comm);
    std::string text = read ? name : "";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

bool installStopHandlers(bool hangUp)
{
    if (g_pipe[0] < 0 && ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    // Calls in progress go on; a wait for the request is woken by the pipe instead.
    action.sa_flags = SA_RESTART;
    for (int s : kStopSignals) {
        if (s != SIGHUP || hangUp)
            ::sigaction(s, &action, nullptr);
    }
    return true;
}

void removeStopHandlers()
{
    for (int s : kStopSignals)
        ::signal(s, SIG_DFL);
    for (int &end : g_pipe) {
        if (end >= 0)
            ::close(end);
        end = -1;
    }
    g_stop = 0;
}

bool stopRequested()
{
    return g_stop != 0;
}

bool waitForStop(int milliseconds)
{
    if (g_stop || g_pipe[0] < 0)
        return g_stop != 0;
    pollfd entry{g_pipe[0], POLLIN, 0};
    ::poll(&entry, 1, milliseconds);
    return g_stop != 0;
}

int stopWaitHandle()
{
    return g_pipe[0];
}

void clearStopWait()
{
    char buffer[16];
    while (g_pipe[0] >= 0 && ::read(g_pipe[0], buffer, sizeof buffer) > 0) {
    }
}

void ignoreBrokenPipes()
{
    ::signal(SIGPIPE, SIG_IGN);
}

} // namespace platform
