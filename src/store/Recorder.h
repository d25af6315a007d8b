#pragma once

// The recording rules live in src/recorder; the window still includes them under this name.
#include "recorder/Recorder.h"
