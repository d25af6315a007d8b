#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The program's one conversion of a text to a whole number, as every box, decoder and rule reads
// it: an optional sign ("-", or "+" as the framework's conversion also takes it) followed by at least
// one decimal digit, within 32 bits. Anything else fails, blanks and other scripts' digits included.
std::optional<int32_t> parseInteger(std::string_view text);

// "'<text>' is not a valid integer value": what a failed conversion says, wherever it happens.
std::string invalidIntegerMessage(std::string_view text);
