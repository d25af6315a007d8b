#include "CliOptions.h"

#include "decode/FrameEncoders.h"

#include "platform/File.h"
#include "platform/StopSignals.h"
#include "platform/Terminal.h"

#include <cstdio>
#include <cstdlib>
#include <string>
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

    const int baud = fast ? 19200 : 2400;
    platform::PseudoTerminal pseudo;
    platform::File &out = pseudo.sender;
    if (device.empty()) {
        // The receiving side stays open: it keeps its settings and spares the writes an error while
        // no reader has opened it yet.
        if (const platform::Error failed = platform::openPseudoTerminal(baud, &pseudo)) {
            std::fprintf(stderr, "meterlink-cli simulate: cannot open a pseudo-terminal: %s\n",
                         failed.message.c_str());
            return kUsageExitCode;
        }
        std::printf("%s\n", pseudo.name.c_str());
        std::fflush(stdout);
    } else {
        // A plain file is created or emptied, so captures can be made for later decoding.
        platform::Error failed;
        out = platform::File::open(device, platform::File::Access::CreateOrTruncate, &failed);
        if (!out.isOpen()) {
            std::fprintf(stderr, "meterlink-cli simulate: %s: %s\n", device.c_str(), failed.message.c_str());
            return kUsageExitCode;
        }
        platform::makeRaw(out, baud);
    }

    // A signal cuts the pause between frames short.
    platform::installStopHandlers(false);
    platform::ignoreBrokenPipes();
    int status = 0;
    long sent = 0;
    for (long step = 0; !platform::stopRequested(); ++step) {
        if (pseudo.receiver.isOpen())
            platform::dropStaleInput(pseudo.receiver, kStaleBacklog);
        const std::vector<uint8_t> frame = setup.profile.family == DecoderFamily::OR200
                                               ? or200ScenarioFrame(step)
                                               : vs500ScenarioFrame(step, setup.selectors);
        // A frame that finds no room, or no reader on the line, is dropped.
        const platform::Error failed = out.write(frame.data(), frame.size());
        if (failed && failed.kind != platform::Error::Kind::Busy &&
            failed.kind != platform::Error::Kind::InputOutput) {
            std::fprintf(stderr, "meterlink-cli simulate: %s: %s\n",
                         device.empty() ? "pseudo-terminal" : device.c_str(), failed.message.c_str());
            status = 1;
            break;
        }
        sent += failed ? 0 : 1;
        platform::waitForStop(rate);
    }
    out.close();
    pseudo.receiver.close();
    std::fprintf(stderr, "meterlink-cli simulate: %ld frames sent\n", sent);
    return status;
}
