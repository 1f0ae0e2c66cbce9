#pragma once

#include "Fixtures.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

using namespace kelvark;

// Journals as a folder received from elsewhere may hold them, written the way
// the program writes its own: tab-separated fields, each line closed by a tab
// and the 8-digit hex FNV-1a checksum of what comes before it.
namespace fixtures {

inline std::string JournalLine(const std::vector<std::string>& fields)
{
    std::string line;
    for (const auto& field : fields) {
        if (!line.empty())
            line += '\t';
        for (const char c : field)
            line += c == '\\' ? "\\\\" : c == '\t' ? "\\t" : c == '\n' ? "\\n" : c == '\r' ? "\\r" : std::string(1, c);
    }
    std::uint32_t sum = 2166136261u;
    for (const unsigned char c : line)
        sum = (sum ^ c) * 16777619u;
    char tail[16];
    std::snprintf(tail, sizeof tail, "\t%08x\n", sum);
    return line + tail;
}

// A whole journal of kind: its header, the records given (each a line's
// fields), then "end" and the lines after it.
inline std::string JournalText(const std::string& kind, const std::vector<std::vector<std::string>>& plan,
                               const std::vector<std::vector<std::string>>& after = {})
{
    std::string text = JournalLine({"kelvark-journal 2"}) + JournalLine({"kind", kind}) + JournalLine({"since", "0"});
    for (const auto& fields : plan)
        text += JournalLine(fields);
    text += JournalLine({"end"});
    for (const auto& fields : after)
        text += JournalLine(fields);
    return text;
}

inline void WriteJournal(const fs::path& root, const std::string& text)
{
    WriteFile(root / ".kelvark-journal", text);
}

} // namespace fixtures
