#include "decode/IntegerText.h"

#include <gtest/gtest.h>

namespace {

// Every box, decoder and rule reads numbers through this one conversion, so its edges are the
// program's edges: no blanks, no other digits, nothing past 32 bits.
TEST(IntegerText, AcceptsASignAndDigitsWithin32BitsOnly)
{
    const struct
    {
        const char *text;
        std::optional<int32_t> value;
    } cases[] = {
        {"0", 0},
        {"0042", 42},
        {"-17", -17},
        {"+5", 5},
        {"2147483647", INT32_MAX},
        {"-2147483648", INT32_MIN},
        {"2147483648", std::nullopt},
        {"-2147483649", std::nullopt},
        {"99999999999999999999", std::nullopt},
        {"", std::nullopt},
        {"-", std::nullopt},
        {"+-1", std::nullopt},
        {" 12", std::nullopt},
        {"12 ", std::nullopt},
        {"1e3", std::nullopt},
        {"0x10", std::nullopt},
        {"\xd9\xa3", std::nullopt}, // an Arabic-Indic three
    };
    for (const auto &c : cases)
        EXPECT_EQ(parseInteger(c.text), c.value) << '"' << c.text << '"';
}

TEST(IntegerText, MessageQuotesTheTextAsItWas)
{
    EXPECT_EQ(invalidIntegerMessage(""), "'' is not a valid integer value");
    EXPECT_EQ(invalidIntegerMessage(" 12"), "' 12' is not a valid integer value");
}

} // namespace
