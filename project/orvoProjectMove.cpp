#include "orvoProject.h"

#include "FileOps.h"
#include "TextCodec.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

namespace kelvark {

std::vector<std::string_view> orvoProject::FilesToMove() const
{
    std::vector<std::string_view> own = ZeroEndedTexts(ownFiles);
    std::vector<std::string_view> files;
    files.reserve(own.size() + wavePositions.size());
    files.assign(own.begin(), own.end());
    // Each wave file once, where the project file first names it: two names
    // may find one file, told apart by its place in the listing, and a wave
    // may be an own file too. No set of names is made: a project file may
    // name tens of thousands of waves, and every operation asks for these.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> byPosition; // (position, wave)
    byPosition.reserve(wavePositions.size());
    for (std::uint32_t i = 0; i < wavePositions.size(); ++i)
        if (wavePositions[i] != Unlisted)
            byPosition.emplace_back(wavePositions[i], i);
    std::sort(byPosition.begin(), byPosition.end());
    std::vector<bool> firstOfFile(wavePositions.size(), false);
    for (std::size_t k = 0; k < byPosition.size(); ++k)
        if (k == 0 || byPosition[k].first != byPosition[k - 1].first)
            firstOfFile[byPosition[k].second] = true;
    std::sort(own.begin(), own.end());
    for (int i = 0; i < WaveCount(); ++i)
        if (const std::string_view name = WaveDiskName(i);
            firstOfFile[static_cast<std::size_t>(i)] && !std::binary_search(own.begin(), own.end(), name))
            files.emplace_back(name);
    return files;
}

std::vector<std::string_view> orvoProject::FilesOfAtLeast(std::int64_t bytes) const
{
    const std::vector<std::string_view> own = ZeroEndedTexts(ownFiles);
    std::vector<std::string_view> found;
    for (std::size_t i = 0; i < own.size() && i < ownFileSizes.size(); ++i)
        if (ownFileSizes[i] >= bytes)
            found.push_back(own[i]);
    // Such files are few: each is looked for among those found so far.
    for (int i = 0; i < WaveCount(); ++i)
        if (const std::string_view name = WaveDiskName(i);
            waveSizes[static_cast<std::size_t>(i)] >= bytes && std::find(own.begin(), own.end(), name) == own.end()
            && std::find(found.begin(), found.end(), name) == found.end())
            found.push_back(name);
    return found;
}

bool orvoProject::MoveTest(const std::string& destDir)
{
    LastError.clear();
    bool found = false;
    for (const std::string_view name : FilesToMove()) {
        // An entry of any kind (file, folder, link) blocks a move.
        if (EntryExists(std::string(destDir).append(name))) {
            AddError(std::string(name));
            found = true;
        }
    }
    return found;
}

} // namespace kelvark
