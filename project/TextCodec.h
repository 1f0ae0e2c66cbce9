#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kelvark {

// Names reach this system as bytes: project files written on Windows hold them
// in the Windows-1252 code page, file names on this machine are UTF-8 or any
// bytes at all. Everything shown to the user is UTF-8; the bytes themselves are
// what the files are found, moved and reported by.

// True when bytes are well-formed UTF-8: shortest forms only, no UTF-16
// surrogates, nothing beyond U+10FFFF.
bool IsValidUtf8(std::string_view bytes);

// Every byte read as Windows-1252, written as UTF-8. The five bytes the code
// page leaves unassigned (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the code points
// of the same value, U+0081 and so on, as Windows itself converts them.
std::string Win1252ToUtf8(std::string_view bytes);

// The text to show for bytes: the well-formed UTF-8 sequences as they are, and
// every byte that is not part of one read as Windows-1252. Valid UTF-8 comes
// back unchanged.
std::string ShownText(std::string_view bytes);
// A folder as messages name it: ShownText without the separator at its end,
// "/music" for "/music/" ("/" stays "/").
std::string ShownFolder(std::string_view folder);

// A byte with an ASCII capital letter folded to lower case; every other byte,
// the upper half included, stays: names compare as Windows compares them in
// the ASCII range only.
constexpr unsigned char AsciiLower(unsigned char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

// bytes with their ASCII capital letters folded to lower case.
std::string AsciiFolded(std::string_view bytes);

// Texts kept as one string, each followed by a zero byte: for many short
// texts (file names, which never hold a zero byte, and numbers) one string
// takes less memory than a string each.
template <typename Texts> std::string ZeroEnded(const Texts& texts)
{
    std::size_t size = 0;
    for (const auto& text : texts)
        size += text.size() + 1;
    std::string joined;
    joined.reserve(size);
    for (const auto& text : texts) {
        joined += text;
        joined += '\0';
    }
    return joined;
}
// The texts of a string ZeroEnded made.
std::vector<std::string_view> ZeroEndedTexts(std::string_view joined);

// Names as a message lists them: "A, B, C", the first ten and "and N more"
// after them; with quoted, each in double quotes. unnamed counts the names
// beyond those given, which a caller of thousands needs not make.
std::string NamedList(const std::vector<std::string>& names, bool quoted = false, std::size_t unnamed = 0);

// Names joined by ", ", every one of them.
std::string Joined(const std::vector<std::string>& names);

// n with a comma every three digits: "1,234,567".
std::string Count(std::size_t n);
// n and the word that goes with it: "1 project", "1,781 projects".
std::string Counted(std::size_t n, const std::string& one, const std::string& many);

} // namespace kelvark
