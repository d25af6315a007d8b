#pragma once

#include <cstdint>
#include <string_view>

// Which of a row's fields are SQL NULL (only rows loaded from a file can have them).
enum RowNullBit : uint8_t
{
    NullNo = 1 << 0,
    NullTime = 1 << 1,
    NullDcac = 1 << 2,
    NullValue = 1 << 3,
    NullUnit = 1 << 4,
    NullAuto = 1 << 5,
    NullNval = 1 << 6,
};

// One row to store. Texts are UTF-8 and only read during the call. The time is either a time of
// day in milliseconds (timeMs >= 0) or, for rows loaded from a file, the field's text as stored.
struct RowInput
{
    int64_t no = 0;
    int32_t timeMs = -1;
    std::string_view timeText;
    std::string_view dcac;
    std::string_view value;
    std::string_view unit;
    std::string_view autoText;
    double nval = 0.0;
    uint8_t nullMask = 0;
};
