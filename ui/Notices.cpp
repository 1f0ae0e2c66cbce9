#include "Notices.h"

#include <algorithm>

namespace kelvark {

namespace {

// The files the summary names for each kind of notice.
constexpr std::size_t NamedFiles = 3;
const std::string InFile = " in file ";
const std::string HasNo = " has no ";

} // namespace

void ReadNotices::Notice(const std::string& text)
{
    if (!silenced) {
        silenced = box.ShowNotice(text);
        return;
    }
    ++unshown;
    // "Unknown chunk "LIST" in file a.wav", or "a.wav has no broadcast-wave
    // (bext) chunk", which counts as "No broadcast-wave (bext) chunk" in a.wav.
    std::string what = text;
    std::string file;
    if (const std::size_t at = text.find(InFile); at != std::string::npos) {
        what = text.substr(0, at);
        file = text.substr(at + InFile.size());
    } else if (const std::size_t no = text.rfind(HasNo); no != std::string::npos) {
        what = "No " + text.substr(no + HasNo.size());
        file = text.substr(0, no);
    }
    auto kind = std::find_if(kinds.begin(), kinds.end(), [&](const Kind& k) { return k.what == what; });
    if (kind == kinds.end())
        kind = kinds.insert(kinds.end(), Kind{what, {}, 0});
    ++kind->count;
    if (!file.empty() && kind->files.size() < NamedFiles)
        kind->files.push_back(file);
}

void ReadNotices::StartRead()
{
    silenced = false;
    unshown = 0;
    kinds.clear();
}

std::string ReadNotices::Unshown() const
{
    if (unshown == 0)
        return {};
    std::string text =
        std::to_string(unshown) + (unshown == 1 ? " more notice was not shown: " : " more notices were not shown: ");
    for (std::size_t k = 0; k < kinds.size(); ++k) {
        const Kind& kind = kinds[k];
        text += (k == 0 ? "" : "; ") + kind.what;
        if (kind.files.empty()) {
            if (kind.count > 1)
                text += " (" + std::to_string(kind.count) + " times)";
            continue;
        }
        text += kind.count == 1 ? InFile : " in files ";
        for (std::size_t f = 0; f < kind.files.size(); ++f)
            text += (f == 0 ? "" : ", ") + kind.files[f];
        if (const int more = kind.count - static_cast<int>(kind.files.size()); more > 0)
            text += " and " + std::to_string(more) + " more";
    }
    return text + ".";
}

} // namespace kelvark
