#include "CliOptions.h"

#include "decode/MeterDecoder.h"

#include "platform/File.h"
#include "platform/Terminal.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
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

    platform::File input = platform::File::standardInput();
    if (havePath && path != "-") {
        platform::Error failed;
        input = platform::File::open(path, platform::File::Access::Read, &failed);
        if (!input.isOpen()) {
            std::fprintf(stderr, "meterlink-cli decode: %s: %s\n", path.c_str(), failed.message.c_str());
            return kUsageExitCode;
        }
        // A serial port or pseudo-terminal must hand over every byte untouched (no line editing, no
        // carriage return turned into a line feed) at the model's speed.
        platform::makeRaw(input, setup.profile.baud19200 ? 19200 : 2400);
    }

    const bool terminal = input.isTerminal(); // asked now: after a hang-up the question fails too
    MeterDecoder decoder(setup.profile.family, DecodeContext{setup.selectors, setup.range});
    std::vector<uint8_t> chunk(4096);
    std::string lines;
    int status = 0;
    for (;;) {
        platform::Error failed;
        const std::ptrdiff_t n = input.read(chunk.data(), chunk.size(), &failed);
        if (n == 0)
            break;
        if (n < 0) {
            // A pseudo-terminal whose sending side went away reads as a hang-up: the stream ended.
            if (failed.kind == platform::Error::Kind::InputOutput && terminal)
                break;
            std::fprintf(stderr, "meterlink-cli decode: %s: %s\n", havePath ? path.c_str() : "stdin",
                         failed.message.c_str());
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
    return status;
}
