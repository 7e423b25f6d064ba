#pragma once

// The few characters that raw markup is read by, for units of any width (a byte of UTF-8 read as
// unsigned, or a decoded UTF-16 or UCS-4 unit).
namespace xmlchars {

inline bool isSpace(char32_t unit)
{
    return unit == ' ' || unit == '\t' || unit == '\n' || unit == '\r';
}

inline bool isQuote(char32_t unit)
{
    return unit == '"' || unit == '\'';
}

// Whether the unit may start a tag's name, as far as ASCII tells: the readers of raw markup take
// every unit above 0x7F for a letter.
inline bool mayStartName(char32_t unit)
{
    return (unit >= 'a' && unit <= 'z') || (unit >= 'A' && unit <= 'Z') || unit == '_' ||
           unit == ':' || unit >= 0x80;
}

} // namespace xmlchars
