#include "orvoProject.h"

#include "FileOps.h"
#include "SectorCost.h"
#include "TextCodec.h"

#include <algorithm>
#include <span>
#include <unordered_map>
#include <unordered_set>

namespace kelvark {

const FolderListing& orvoProject::Listing()
{
    if (!folder)
        folder = std::make_shared<FolderListing>(ReadDir);
    return *folder;
}

bool orvoProject::FileOpenRead(TagFile& fi, int folder)
{
    if (ReadDir.empty()) {
        LastError = "Read directory is blank";
        return true;
    }
    if (ReadDir.back() != '/')
        ReadDir += '/';

    // The project file is the one on disk, whatever the letter case of its extension.
    const auto file = Listing().ProjectFile(Name);
    fi.Close(); // whatever file it held before
    std::error_code error;
    if (file) {
        // The file is opened once and the open file tested; the folder is
        // asked only when it could not be opened, as a test by name does.
        const std::string name = folder == AT_FDCWD ? ReadDir + *file : *file;
        FileDescriptor opened;
        struct stat status {};
        error = OpenRegular(folder, name.c_str(), opened, status);
        ReadOnly = opened.Get() >= 0 ? IsReadOnly(opened) : IsReadOnly(folder, name.c_str());
        fi.Open(std::move(opened));
    }
    if (!fi.IsOpen()) {
        // Listed as a regular file, it was replaced since by something else.
        LastError = "Can't open CUE file " + Name
                    + (error == std::errc::invalid_argument ? ": " + *file + " is not a regular file" : "");
        return true;
    }
    return false;
}

bool orvoProject::FileRead(TagFile& fi)
{
    if (!reading)
        reading = std::make_unique<Reading>();
    TagList dlist;
    while (ReadTagLine(dlist, fi, ReaderSlots) >= 0) {
        if (std::string_view(dlist[0]) == "Qlist")
            reading->trackList.FileRead(fi, dlist);
    }
    return false;
}

void orvoProject::ListWaves()
{
    // One wave per distinct file name, in the order of first use: the names
    // the read gathered pass to the waves, whose positions the regions keep.
    if (!reading)
        reading = std::make_unique<Reading>();
    auto& waves = reading->waves;
    if (waves.empty()) {
        auto& names = reading->trackList.files.names;
        waves.resize(names.size());
        for (std::size_t i = 0; i < names.size(); ++i) {
            waves[i].FileName = std::move(names[i]);
            waves[i].project = this;
        }
        reading->trackList.files.Clear();
    }
    for (auto& wave : waves)
        if (!wave.FileName.empty() && orvoWave::IsValidName(wave.FileName) && !ReadDir.empty())
            wave.Locate();
}

bool orvoProject::GetWaveInfo(int folder)
{
    MemoryProbe probe;
    return GetWaveInfo(folder, probe);
}

bool orvoProject::GetWaveInfo(int folder, MemoryProbe& probe)
{
    ListWaves();
    // The wave files are opened and announced a batch at a time before the
    // first of the batch is read, so a cold disk fetches them all at once. A
    // batch whose first file is in memory was most likely read a moment ago
    // (a folder read again): announcing it would cost a call per file for
    // nothing.
    constexpr std::size_t WavesAhead = 64;
    auto& waves = reading->waves;
    std::vector<FileDescriptor> files;
    for (std::size_t first = 0; first < waves.size(); first += WavesAhead) {
        const std::size_t last = std::min(waves.size(), first + WavesAhead);
        files.clear();
        for (std::size_t i = first; i < last; ++i)
            files.push_back(waves[i].Open(folder));
        const auto opened =
            std::find_if(files.begin(), files.end(), [](const FileDescriptor& file) { return file.Get() >= 0; });
        if (opened != files.end() && !probe.InMemory(*opened))
            for (const FileDescriptor& file : files)
                Announce(file, HeaderBlock);
        for (std::size_t i = first; i < last; ++i)
            waves[i].FileGetSize(files[i - first], messages);
    }
    return SumWaves();
}

bool orvoProject::SumWaves()
{
    if (!reading)
        return false; // summed already
    auto& waves = reading->waves;
    const auto& tracks = reading->trackList.tracks;
    bool failed = false;
    wavSize = 0;
    for (const auto& wave : waves) {
        if (wave.Failed()) {
            AddError(wave.LastError());
            failed = true;
        }
        wavSize += wave.fileSize;
    }
    // Every wave's regions, gathered in one walk: a walk per wave would cost
    // waves times regions, which a project file of many names makes huge.
    // They are counted per wave first, then placed in one array, each wave's
    // in track and entry order.
    const std::size_t count = waves.size();
    const auto played = [&](const orvoAudio& audio) {
        return audio.File >= 0 && static_cast<std::size_t>(audio.File) < count;
    };
    std::vector<std::size_t> first(count + 1, 0);
    for (const auto& track : tracks)
        for (const auto& audio : track.audios)
            if (played(audio))
                ++first[static_cast<std::size_t>(audio.File) + 1];
    for (std::size_t i = 0; i < count; ++i)
        first[i + 1] += first[i];
    std::vector<const orvoAudio*> regions(first[count]);
    std::vector<std::size_t> next(first.begin(), first.end() - 1);
    for (const auto& track : tracks)
        for (const auto& audio : track.audios)
            if (played(audio))
                regions[next[static_cast<std::size_t>(audio.File)]++] = &audio;
    for (std::size_t i = 0; i < count; ++i) {
        orvoWave& wave = waves[i];
        wave.CalcUsage(std::span(regions).subspan(first[i], first[i + 1] - first[i]));
        samples += wave.samples;
        samplesUsed += wave.samplesUsed;
    }
    KeepWaves();
    return failed;
}

void orvoProject::KeepWaves()
{
    if (!reading)
        return;
    trackCount = reading->trackList.tracks.size();
    const auto& waves = reading->waves;
    wavePositions.clear();
    wavePositions.reserve(waves.size());
    waveSizes.clear();
    waveSizes.reserve(waves.size());
    WaveExtras found;
    waveCost = 0;
    std::unordered_set<std::size_t> counted;
    for (std::size_t i = 0; i < waves.size(); ++i) {
        const orvoWave& wave = waves[i];
        const std::size_t position = wave.DiskPosition();
        wavePositions.push_back(position == FolderListing::npos ? Unlisted : static_cast<std::uint32_t>(position));
        waveSizes.push_back(position == FolderListing::npos ? 0 : wave.fileSize);
        if (wave.DiskName() != wave.FileName)
            found.names.emplace_back(static_cast<std::uint32_t>(i), wave.FileName);
        if (position == FolderListing::npos)
            continue;
        // Only a file named as the project can turn out to be an own file too.
        if (FolderListing::IsOwnFileOf(wave.DiskName(), Name))
            found.ownSizes.emplace_back(static_cast<std::uint32_t>(position), wave.fileSize);
        else if (counted.insert(position).second)
            waveCost += DiscCost(wave.fileSize, wave.DiskName());
    }
    waveFiles = static_cast<int>(counted.size());
    if (found.names.empty() && found.ownSizes.empty()) {
        extras.reset();
    } else {
        found.names.shrink_to_fit();
        found.ownSizes.shrink_to_fit();
        extras = std::make_unique<WaveExtras>(std::move(found));
    }
    reading.reset();
}

std::size_t orvoProject::WavePosition(int i) const
{
    const std::uint32_t position = wavePositions.at(static_cast<std::size_t>(i));
    return position == Unlisted ? FolderListing::npos : position;
}

std::string_view orvoProject::WaveDiskName(int i) const
{
    // A wave found its file in the project's listing, which is set by then.
    const std::size_t position = WavePosition(i);
    return position == FolderListing::npos ? std::string_view() : folder->Name(position);
}

std::string_view orvoProject::WaveName(int i) const
{
    if (!extras)
        return WaveDiskName(i);
    const auto& names = extras->names;
    const auto index = static_cast<std::uint32_t>(i);
    const auto named = std::lower_bound(names.begin(), names.end(), index,
                                        [](const auto& entry, std::uint32_t wave) { return entry.first < wave; });
    return named != names.end() && named->first == index ? std::string_view(named->second) : WaveDiskName(i);
}

void orvoProject::TakeRead(orvoProject& ahead)
{
    if (ReadDir != ahead.ReadDir) // only a folder without its separator differs
        ReadDir = std::move(ahead.ReadDir);
    ReadOnly = ahead.ReadOnly;
    LastError = std::move(ahead.LastError);
    reading = std::move(ahead.reading);
    if (reading)
        for (auto& wave : reading->waves)
            wave.project = this;
    ownLengths = std::move(ahead.ownLengths);
}

std::vector<std::string> orvoProject::OwnFiles() const
{
    const std::vector<std::string_view> names = ZeroEndedTexts(ownFiles);
    return {names.begin(), names.end()};
}

void orvoProject::SetOwnFiles(const std::vector<std::string>& files)
{
    ownFiles = ZeroEnded(files);
    fileSize = 0;
    // An own file that is a wave too is as large as the wave's true size.
    std::unordered_map<std::string_view, std::int64_t> ownSizes;
    // Each length is the one found ahead, else the folder's answer now.
    for (const auto& name : files) {
        const std::size_t position = ownLengths.empty() ? FolderListing::npos : Listing().Position(name);
        const auto known = std::lower_bound(ownLengths.begin(), ownLengths.end(), std::pair(position, std::int64_t{0}));
        std::int64_t length = 0;
        if (known != ownLengths.end() && known->first == position)
            length = known->second;
        else
            FileLength(ReadDir + name, length); // a file that cannot be looked up counts 0
        fileSize += length;
        ownSizes[name] = length;
    }
    std::vector<std::pair<std::size_t, std::int64_t>>().swap(ownLengths);
    // Each wave file found counts once.
    discSize = waveCost + LabelLineSize(Name);
    std::unordered_set<std::size_t> counted;
    if (extras) {
        for (const auto& [position, size] : extras->ownSizes) {
            if (const auto own = ownSizes.find(folder->Name(position)); own != ownSizes.end())
                own->second = std::max(own->second, size);
            else if (counted.insert(position).second)
                discSize += DiscCost(size, folder->Name(position));
        }
    }
    ownFileSizes.clear();
    for (const auto& name : files)
        ownFileSizes.push_back(ownSizes[name]);
    for (const auto& [name, size] : ownSizes)
        discSize += DiscCost(size, name);
    discFiles = static_cast<int>(files.size() + counted.size()) + waveFiles;
}

void orvoProject::AddError(const std::string& text)
{
    if (LastError.empty())
        LastError = "Project: " + Name + "\r\n";
    else
        LastError += "\r\n";
    LastError += "     " + text;
}

} // namespace kelvark
