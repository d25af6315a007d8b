#include "CliOptions.h"

#include "decode/FrameEncoders.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <pty.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

const char kSimulateUsage[] =
    "Usage:\n"
    "  meterlink-cli simulate [--model SEL[,SEL...]] [--device PATH] [--rate MS]\n"
    "\n"
    "Plays a meter: sends the model's demonstration frames at the meter's pace.\n"
    "\n"
    "  --model SEL    the meter model's selectors (as for decode); default IFOR210\n"
    "  --device PATH  write the frames to PATH (a serial device, or a file to capture them in);\n"
    "                 without it a pseudo-terminal is opened and its path printed on the first line\n"
    "  --rate MS      one frame every MS milliseconds (1 to 60000) instead of the meter's pace\n"
    "\n"
    "Ctrl+C or SIGTERM stops it; standard error then says how many frames were sent.\n";

volatile std::sig_atomic_t g_stop = 0;

void requestStop(int)
{
    g_stop = 1;
}

void installStopHandlers()
{
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: the signal must cut the pause between frames short.
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

void sleepMilliseconds(int ms)
{
    timespec left{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
    while (!g_stop && nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

void makeRaw(termios *tio, bool baud19200)
{
    cfmakeraw(tio);
    tio->c_cflag |= CLOCAL | CREAD;
    cfsetispeed(tio, baud19200 ? B19200 : B2400);
    cfsetospeed(tio, baud19200 ? B19200 : B2400);
}

// Backlog in the pseudo-terminal beyond which nobody is reading: drop it, so that a reader who opens
// the port later starts with current frames rather than stale ones.
constexpr int kStaleBacklog = 256;

bool parseRate(const std::string &text, int *rate)
{
    if (text.empty() || text.size() > 6)
        return false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    const int value = std::atoi(text.c_str());
    if (value < 1 || value > 60000)
        return false;
    *rate = value;
    return true;
}

} // namespace

int runSimulate(int argc, char **argv)
{
    std::string modelList = "IFOR210";
    std::string device;
    int rate = 0;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        std::string value;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kSimulateUsage, stdout);
            return 0;
        }
        std::string name = arg;
        const size_t eq = arg.find('=');
        if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
        } else if (arg == "--model" || arg == "--device" || arg == "--rate") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "meterlink-cli simulate: %s needs a value\n", arg.c_str());
                return kUsageExitCode;
            }
            value = argv[++i];
        }
        if (name == "--model") {
            modelList = value;
        } else if (name == "--device") {
            device = value;
        } else if (name == "--rate") {
            if (!parseRate(value, &rate)) {
                std::fprintf(stderr,
                             "meterlink-cli simulate: --rate wants milliseconds from 1 to 60000, not '%s'\n",
                             value.c_str());
                return kUsageExitCode;
            }
        } else {
            std::fprintf(
                stderr,
                "meterlink-cli simulate: unknown argument '%s'\nTry 'meterlink-cli simulate --help'.\n",
                arg.c_str());
            return kUsageExitCode;
        }
    }

    ModelSelectors selectors;
    const std::string problem = readModelChoice(modelList, &selectors);
    if (!problem.empty()) {
        std::fprintf(stderr, "meterlink-cli simulate: %s\n", problem.c_str());
        return kUsageExitCode;
    }
    const MeterSetup setup = meterSetupFor(selectors);
    const bool fast = setup.profile.baud19200;
    if (rate == 0)
        rate = fast ? 100 : 300;

    int out = -1;
    int slave = -1;
    if (device.empty()) {
        termios tio;
        std::memset(&tio, 0, sizeof tio);
        makeRaw(&tio, fast);
        char name[256] = {};
        if (openpty(&out, &slave, name, &tio, nullptr) != 0) {
            std::fprintf(stderr, "meterlink-cli simulate: cannot open a pseudo-terminal: %s\n",
                         std::strerror(errno));
            return kUsageExitCode;
        }
        // Holding the slave open keeps its settings and spares the writes an error while no reader
        // has opened it yet.
        fcntl(out, F_SETFL, fcntl(out, F_GETFL) | O_NONBLOCK);
        std::printf("%s\n", name);
        std::fflush(stdout);
    } else {
        // A plain file is created or emptied, so captures can be made for later decoding.
        out = ::open(device.c_str(), O_WRONLY | O_NOCTTY | O_CREAT, 0644);
        if (out < 0) {
            std::fprintf(stderr, "meterlink-cli simulate: %s: %s\n", device.c_str(), std::strerror(errno));
            return kUsageExitCode;
        }
        struct stat info;
        if (fstat(out, &info) == 0 && S_ISREG(info.st_mode) && ftruncate(out, 0) != 0) {
            std::fprintf(stderr, "meterlink-cli simulate: %s: %s\n", device.c_str(), std::strerror(errno));
            ::close(out);
            return kUsageExitCode;
        }
        if (isatty(out)) {
            termios tio;
            if (tcgetattr(out, &tio) == 0) {
                makeRaw(&tio, fast);
                tcsetattr(out, TCSANOW, &tio);
            }
        }
    }

    installStopHandlers();
    int status = 0;
    long sent = 0;
    for (long step = 0; !g_stop; ++step) {
        if (slave >= 0) {
            int pending = 0;
            if (ioctl(slave, FIONREAD, &pending) == 0 && pending > kStaleBacklog)
                tcflush(slave, TCIFLUSH);
        }
        const std::vector<uint8_t> frame = setup.profile.family == DecoderFamily::OR200
                                               ? or200ScenarioFrame(step)
                                               : vs500ScenarioFrame(step, setup.selectors);
        const ssize_t written = ::write(out, frame.data(), frame.size());
        if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EIO && errno != EINTR) {
            std::fprintf(stderr, "meterlink-cli simulate: %s: %s\n",
                         device.empty() ? "pseudo-terminal" : device.c_str(), std::strerror(errno));
            status = 1;
            break;
        }
        sent += written == ssize_t(frame.size()) ? 1 : 0;
        sleepMilliseconds(rate);
    }
    ::close(out);
    if (slave >= 0)
        ::close(slave);
    std::fprintf(stderr, "meterlink-cli simulate: %ld frames sent\n", sent);
    return status;
}
