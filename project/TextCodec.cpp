#include "TextCodec.h"

#include <array>
#include <cstdint>

namespace kelvark {

namespace {

// The code points of the bytes 0x80 to 0x9F; from 0xA0 on the code page is
// Latin-1, whose bytes are their own code points, as are 0x00 to 0x7F.
constexpr std::array<char32_t, 32> HighControls = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                                   0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                                   0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                                   0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void AppendWin1252(std::string& out, unsigned char byte)
{
    AppendUtf8(out, byte >= 0x80 && byte < 0xA0 ? HighControls[byte - 0x80] : char32_t{byte});
}

// The length of the well-formed UTF-8 sequence at the start of bytes, 0 when
// none starts there.
std::size_t SequenceLength(std::string_view bytes)
{
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = at(0);
    if (lead < 0x80)
        return 1;
    // The second byte's range is narrowed where a wider one would let in
    // overlong forms, surrogates or code points beyond U+10FFFF.
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (bytes.size() < length || at(1) < low || at(1) > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i)
        if ((at(i) & 0xC0) != 0x80)
            return 0;
    return length;
}

} // namespace

bool IsValidUtf8(std::string_view bytes)
{
    while (!bytes.empty()) {
        const std::size_t length = SequenceLength(bytes);
        if (length == 0)
            return false;
        bytes.remove_prefix(length);
    }
    return true;
}

std::string Win1252ToUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char byte : bytes)
        AppendWin1252(out, static_cast<unsigned char>(byte));
    return out;
}

std::string ShownFolder(std::string_view folder)
{
    if (folder.size() > 1 && folder.back() == '/')
        folder.remove_suffix(1);
    return ShownText(folder);
}

std::string ShownText(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    while (!bytes.empty()) {
        const std::size_t length = SequenceLength(bytes);
        if (length == 0) {
            AppendWin1252(out, static_cast<unsigned char>(bytes.front()));
            bytes.remove_prefix(1);
        } else {
            out.append(bytes.substr(0, length));
            bytes.remove_prefix(length);
        }
    }
    return out;
}

std::string AsciiFolded(std::string_view bytes)
{
    std::string folded(bytes);
    for (char& c : folded)
        c = static_cast<char>(AsciiLower(static_cast<unsigned char>(c)));
    return folded;
}

std::vector<std::string_view> ZeroEndedTexts(std::string_view joined)
{
    std::vector<std::string_view> texts;
    while (!joined.empty()) {
        const std::size_t end = joined.find('\0');
        texts.push_back(joined.substr(0, end));
        joined.remove_prefix(end + 1);
    }
    return texts;
}

std::string NamedList(const std::vector<std::string>& names, bool quoted, std::size_t unnamed)
{
    // A folder of thousands can name thousands: a message names ten.
    constexpr std::size_t Named = 10;
    std::string text;
    for (std::size_t i = 0; i < names.size() && i < Named; ++i)
        text += (i == 0 ? "" : ", ") + (quoted ? "\"" + names[i] + "\"" : names[i]);
    if (const std::size_t count = names.size() + unnamed; count > Named)
        text += " and " + std::to_string(count - Named) + " more";
    return text;
}

std::string Joined(const std::vector<std::string>& names)
{
    std::string text;
    for (const auto& name : names)
        text += (text.empty() ? "" : ", ") + name;
    return text;
}

std::string Count(std::size_t n)
{
    const std::string digits = std::to_string(n);
    std::string grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            grouped += ',';
        grouped += digits[i];
    }
    return grouped;
}

std::string Counted(std::size_t n, const std::string& one, const std::string& many)
{
    return Count(n) + " " + (n == 1 ? one : many);
}

} // namespace kelvark
