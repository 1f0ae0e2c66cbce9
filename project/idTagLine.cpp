#include "idTagLine.h"

#include <string>

int ReadTagLine(TagList& dlist, std::ifstream& fi, std::size_t slots)
{
    if (!fi.is_open())
        return -1;
    if (fi.peek() == std::ifstream::traits_type::eof()) {
        fi.close();
        return -1;
    }
    // A line ends at a line feed (not kept) or at the end of the file; a
    // carriage return is an ordinary character.
    std::string line;
    std::getline(fi, line, '\n');
    return SplitTagLine(dlist, line, true, slots);
}

bool IsWhiteChar(std::string_view c)
{
    return c.empty() || c[0] == ' ' || c[0] == '\t';
}

int SplitTagLine(TagList& dlist, std::string_view text, bool keyRule, std::size_t slots)
{
    std::string line(text);
    while (!line.empty() && line.back() == ' ')
        line.pop_back();

    // Positions are 1-based; p is the pending colon's position (0: none). The
    // space inserted after it ends the token that runs up to the colon.
    std::size_t p = 0;
    if (keyRule) {
        const std::size_t colon = line.find(':');
        if (colon != std::string::npos) {
            p = colon + 1;
            line.insert(colon + 1, 1, ' ');
        }
    }
    if (dlist.empty())
        dlist.resize(11);

    const std::size_t length = line.size();
    auto at = [&](std::size_t pos) { return line[pos - 1]; };
    auto white = [&](std::size_t pos) { return at(pos) == ' ' || at(pos) == '\t'; };

    int count = 0;
    std::size_t pos = 1;
    while (pos <= length) {
        while (pos <= length && white(pos))
            ++pos;
        if (pos > length)
            break;
        // A colon inside a leading quoted token is passed over by that token.
        if (p != 0 && pos > p)
            p = 0;

        std::size_t start = pos;
        std::size_t end = 0;
        if (at(pos) == '"' || at(pos) == '\'') {
            // Up to the same quote character; an unclosed quote takes the rest of the line.
            const char quote = at(pos);
            start = ++pos;
            while (pos <= length && at(pos) != quote)
                ++pos;
            end = pos;
        } else if (p != 0) {
            pos = end = p + 1;
            p = 0;
        } else {
            while (pos <= length && !white(pos))
                ++pos;
            end = pos;
        }

        if (static_cast<std::size_t>(count) < slots) {
            if (static_cast<std::size_t>(count) >= dlist.size())
                dlist.resize(dlist.size() + 10);
            // Into the slot's own buffer: a long token costs no allocation once the slot has held one.
            dlist[static_cast<std::size_t>(count)].assign(line, start - 1, end - start);
        }
        ++count;
        ++pos;
    }
    if (static_cast<std::size_t>(count) < dlist.size())
        dlist[static_cast<std::size_t>(count)].clear();
    return count;
}
