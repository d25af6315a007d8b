#pragma once

#include "decode/ModelProfile.h"

#include <string>

// Exit status for a command line the tool cannot act on (unknown selector, unreadable file...).
constexpr int kUsageExitCode = 2;

// Shared by both commands: the family and the range the checked selectors impose at start-up.
struct MeterSetup
{
    ModelSelectors selectors;
    ModelProfile profile;
    RangeConstants range;
};
MeterSetup meterSetupFor(const ModelSelectors &selectors);

int runDecode(int argc, char **argv);
int runSimulate(int argc, char **argv);
int runPorts(int argc, char **argv);
int runLog(int argc, char **argv);
int runConvert(int argc, char **argv);
