#include "decode/Or200Decoder.h"
// Implementation lands with the OR200 decoder.
