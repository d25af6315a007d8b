#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// A short text built on the stack. The decoders assemble a few of these for every frame (values,
// units, the texts they convert), and none of them outgrows a handful of characters, so appending
// never allocates. A 0 character stands for an empty digit and adds nothing.
class ShortText
{
public:
    static constexpr size_t kCapacity = 16;

    ShortText &operator<<(char c)
    {
        if (c != 0 && m_size < kCapacity)
            m_text[m_size++] = c;
        return *this;
    }
    std::string_view view() const { return std::string_view(m_text, m_size); }

private:
    char m_text[kCapacity];
    size_t m_size = 0;
};

// A digit caption: one character, or empty for 0.
inline std::string digitText(char c)
{
    return c == 0 ? std::string() : std::string(1, c);
}
