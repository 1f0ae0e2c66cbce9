#include "orvoProject.h"

#include "FileOps.h"
#include "BackupSet.h"

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
    if (file) {
        // The file is opened once and the open file tested; the folder is
        // asked only when it could not be opened, as a test by name does.
        const std::string name = folder == AT_FDCWD ? ReadDir + *file : *file;
        FileDescriptor opened = OpenRead(folder, name.c_str());
        ReadOnly = opened.Get() >= 0 ? IsReadOnly(opened) : IsReadOnly(folder, name.c_str());
        fi.Open(std::move(opened));
    }
    if (!fi.IsOpen()) {
        LastError = "Can't open CUE file " + Name;
        return true;
    }
    return false;
}

bool orvoProject::FileRead(TagFile& fi)
{
    TagList dlist;
    while (ReadTagLine(dlist, fi, ReaderSlots) >= 0) {
        if (std::string_view(dlist[0]) == "Qlist" && trackList.FileRead(fi, dlist))
            return true;
    }
    return false;
}

void orvoProject::ListWaves()
{
    // One wave per distinct file name, in the order of first use: the names
    // the read gathered pass to the waves, whose positions the regions keep.
    // A project keeps each name once.
    // The waves of a project are made in one block, which the list's
    // references share: one allocation per project rather than per wave.
    if (waves.Count() == 0) {
        const std::size_t count = trackList.files.names.size();
        const std::shared_ptr<orvoWave[]> block(new orvoWave[count]);
        for (std::size_t i = 0; i < count; ++i) {
            orvoWave& wave = block[i];
            wave.FileName = std::move(trackList.files.names[i]);
            wave.project = this;
            waves.add(std::shared_ptr<orvoWave>(block, &wave));
        }
        trackList.files.Clear();
        waves.Compact();
    }
    for (const auto& wave : waves)
        if (!wave->FileName.empty() && orvoWave::IsValidName(wave->FileName) && !ReadDir.empty())
            wave->Locate();
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
    constexpr int WavesAhead = 64;
    std::vector<FileDescriptor> files;
    for (int first = 0; first < waves.Count(); first += WavesAhead) {
        const int last = std::min(waves.Count(), first + WavesAhead);
        files.clear();
        for (int i = first; i < last; ++i)
            files.push_back(waves.Item(i)->Open(folder));
        const auto opened = std::find_if(files.begin(), files.end(), [](const FileDescriptor& file) { return file.Get() >= 0; });
        if (opened != files.end() && !probe.InMemory(*opened))
            for (const FileDescriptor& file : files)
                Announce(file, HeaderBlock);
        for (int i = first; i < last; ++i)
            waves.Item(i)->FileGetSize(files[static_cast<std::size_t>(i - first)], messages);
    }
    return SumWaves();
}

bool orvoProject::SumWaves()
{
    bool failed = false;
    wavSize = 0;
    for (const auto& wave : waves) {
        if (wave->Failed()) {
            AddError(wave->LastError());
            failed = true;
        }
        wavSize += wave->fileSize;
    }
    // Every wave's regions, gathered in one walk: a walk per wave would cost
    // waves times regions, which a project file of many names makes huge.
    // They are counted per wave first, then placed in one array, each wave's
    // in track and entry order.
    const auto count = static_cast<std::size_t>(waves.Count());
    const auto played = [&](const orvoAudio& audio) { return audio.File >= 0 && audio.File < waves.Count(); };
    std::vector<std::size_t> first(count + 1, 0);
    for (const auto& track : trackList.tracks)
        for (const auto& audio : track.audios)
            if (played(audio))
                ++first[static_cast<std::size_t>(audio.File) + 1];
    for (std::size_t i = 0; i < count; ++i)
        first[i + 1] += first[i];
    std::vector<const orvoAudio*> regions(first[count]);
    std::vector<std::size_t> next(first.begin(), first.end() - 1);
    for (const auto& track : trackList.tracks)
        for (const auto& audio : track.audios)
            if (played(audio))
                regions[next[static_cast<std::size_t>(audio.File)]++] = &audio;
    for (std::size_t i = 0; i < count; ++i) {
        orvoWave* wave = waves.Item(static_cast<int>(i)).get();
        wave->CalcUsage(std::span(regions).subspan(first[i], first[i + 1] - first[i]));
        samples += wave->samples;
        samplesUsed += wave->samplesUsed;
    }
    return failed;
}

void orvoProject::TakeRead(orvoProject& ahead)
{
    ReadDir = std::move(ahead.ReadDir);
    ReadOnly = ahead.ReadOnly;
    LastError = std::move(ahead.LastError);
    trackList = std::move(ahead.trackList);
    waves = std::move(ahead.waves);
    for (const auto& wave : waves)
        wave->project = this;
    ownLengths = std::move(ahead.ownLengths);
}

void orvoProject::GetFileSize()
{
    SetOwnFiles(Listing().OwnFiles(Name));
}

void orvoProject::SetOwnFiles(std::vector<std::string> files)
{
    fileList = std::move(files);
    fileSize = 0;
    // An own file that is a wave too is as large as the wave's true size.
    std::unordered_map<std::string_view, std::int64_t> ownSizes;
    // Each length is the one found ahead, else the folder's answer now.
    for (const auto& name : fileList) {
        const std::size_t position = ownLengths.empty() ? FolderListing::npos : Listing().Position(name);
        const auto known = std::lower_bound(ownLengths.begin(), ownLengths.end(), std::pair(position, std::int64_t{0}));
        const std::int64_t length
            = known != ownLengths.end() && known->first == position ? known->second : FileLength(ReadDir + name);
        fileSize += length;
        ownSizes[name] = length;
    }
    std::vector<std::pair<std::size_t, std::int64_t>>().swap(ownLengths);
    // Each wave file found counts once.
    discSize = 0;
    std::unordered_set<std::size_t> counted;
    for (const auto& wave : waves) {
        if (wave->DiskPosition() == FolderListing::npos)
            continue;
        if (const auto own = ownSizes.find(wave->DiskName()); own != ownSizes.end())
            own->second = std::max(own->second, wave->fileSize);
        else if (counted.insert(wave->DiskPosition()).second)
            discSize += FileCost(wave->fileSize);
    }
    for (const auto& [name, size] : ownSizes)
        discSize += FileCost(size);
    discFiles = static_cast<int>(fileList.size() + counted.size());
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
