#pragma once

#include "decode/ModelProfile.h"

// What a decoder reads besides the frame: the checked model selectors and the range constants.
struct DecodeContext
{
    ModelSelectors selectors;
    RangeConstants range;
};
