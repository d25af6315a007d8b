#include "CliOptions.h"

#include "decode/MeterDecoder.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

// One output line per frame, appended to line; the field order is an interface that scripts rely on.
void formatOutcome(const FrameOutcome &outcome, bool verbose, std::string &line)
{
    const auto number = [&line](long long v) {
        char text[24];
        const int n = std::snprintf(text, sizeof text, "%lld", v);
        line.append(text, static_cast<size_t>(n));
    };
    if (!outcome.ok) {
        line += "error\t";
        line += outcome.error;
        return;
    }
    const Reading &r = outcome.reading;
    line += r.value;
    line += '\t';
    line += r.unit;
    line += '\t';
    line += r.dcac;
    line += '\t';
    line += r.autoText;
    line += '\t';
    number(std::llround(r.Nval));
    if (!verbose)
        return;
    line += '\t';
    number(outcome.inputs.gaugeInput);
    line += '\t';
    number(outcome.inputs.barPosition);
    line += '\t';
    number(outcome.inputs.chartValue);
    const auto &d = outcome.panel.digits;
    line += '\t';
    line += d[0] + '|' + d[1] + '|' + d[2] + '|' + d[3];
    std::vector<std::string> names;
    for (int e = 0; e < kLcdElementCount; ++e) {
        if (outcome.panel.isVisible(static_cast<LcdElement>(e)))
            names.emplace_back(lcdElementName(static_cast<LcdElement>(e)));
    }
    std::sort(names.begin(), names.end());
    line += '\t';
    for (size_t i = 0; i < names.size(); ++i) {
        if (i > 0)
            line += ',';
        line += names[i];
    }
}

} // namespace

int runDecode(int argc, char **argv)
{
    std::string modelList = "IFOR210";
    bool verbose = false;
    std::string path;
    bool havePath = false;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--verbose" || arg == "-v") {
            verbose = true;
        } else if (arg == "--model") {
            if (i + 1 >= argc) {
                std::fputs("meterlink-cli decode: --model needs a selector\n", stderr);
                return kUsageExitCode;
            }
            modelList = argv[++i];
        } else if (arg.rfind("--model=", 0) == 0) {
            modelList = arg.substr(8);
        } else if (arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "meterlink-cli decode: unknown option '%s'\n", arg.c_str());
            return kUsageExitCode;
        } else if (!havePath) {
            path = arg;
            havePath = true;
        } else {
            std::fputs("meterlink-cli decode: only one FILE can be decoded at a time\n", stderr);
            return kUsageExitCode;
        }
    }

    ModelSelectors selectors;
    const std::string problem = readModelChoice(modelList, &selectors);
    if (!problem.empty()) {
        std::fprintf(stderr, "meterlink-cli decode: %s\n", problem.c_str());
        return kUsageExitCode;
    }
    const MeterSetup setup = meterSetupFor(selectors);

    int fd = STDIN_FILENO;
    if (havePath && path != "-") {
        fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY);
        if (fd < 0) {
            std::fprintf(stderr, "meterlink-cli decode: %s: %s\n", path.c_str(), std::strerror(errno));
            return kUsageExitCode;
        }
        // A serial port or pseudo-terminal must hand over every byte untouched (no line editing, no
        // carriage return turned into a line feed) at the model's speed.
        termios tio;
        if (isatty(fd) && tcgetattr(fd, &tio) == 0) {
            cfmakeraw(&tio);
            tio.c_cflag |= CLOCAL | CREAD;
            cfsetispeed(&tio, setup.profile.baud19200 ? B19200 : B2400);
            cfsetospeed(&tio, setup.profile.baud19200 ? B19200 : B2400);
            tcsetattr(fd, TCSANOW, &tio);
        }
    }

    const bool terminal = isatty(fd); // asked now: after a hang-up the question fails too
    MeterDecoder decoder(setup.profile.family, DecodeContext{setup.selectors, setup.range});
    std::vector<uint8_t> chunk(4096);
    std::string lines;
    int status = 0;
    for (;;) {
        const ssize_t n = ::read(fd, chunk.data(), chunk.size());
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            // A pseudo-terminal whose sending side went away reads as a hang-up: the stream ended.
            if (errno == EIO && terminal)
                break;
            std::fprintf(stderr, "meterlink-cli decode: %s: %s\n", havePath ? path.c_str() : "stdin",
                         std::strerror(errno));
            status = kUsageExitCode;
            break;
        }
        // A chunk's lines are written together.
        lines.clear();
        decoder.receive(chunk.data(), static_cast<size_t>(n), [verbose, &lines](const FrameOutcome &outcome) {
            formatOutcome(outcome, verbose, lines);
            lines += '\n';
        });
        std::fwrite(lines.data(), 1, lines.size(), stdout);
        // Lines go out as their bytes arrive, so the tool can follow a live port or pipe.
        std::fflush(stdout);
    }
    if (fd != STDIN_FILENO)
        ::close(fd);
    return status;
}
