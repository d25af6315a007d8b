#include "decode/Vs500Decoder.h"
// Implementation lands with the VS500 decoder.
