#include "orvoProject.h"

#include "FileOps.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>

const FolderListing& orvoProject::Listing()
{
    if (!folder)
        folder = std::make_shared<FolderListing>(ReadDir);
    return *folder;
}

bool orvoProject::FileOpenRead(std::ifstream& fi)
{
    if (ReadDir.empty()) {
        LastError = "Read directory is blank";
        return true;
    }
    if (ReadDir.back() != '/')
        ReadDir += '/';

    // The project file is the one on disk, whatever the letter case of its extension.
    const auto file = Listing().ProjectFile(Name);
    if (file) {
        ReadOnly = IsReadOnly(ReadDir + *file);
        fi.open(ReadDir + *file, std::ios::binary);
    }
    if (!fi.is_open()) {
        LastError = "Can't open CUE file " + Name;
        return true;
    }
    return false;
}

bool orvoProject::FileRead(std::ifstream& fi)
{
    TagList dlist;
    while (ReadTagLine(dlist, fi, ReaderSlots) >= 0) {
        if (dlist[0] == "Qlist" && trackList.FileRead(fi, dlist))
            return true;
    }
    // The file has ended: its lists keep no room for more.
    trackList.tracks.Compact();
    trackList.VTrack.vtracks.Compact();
    return false;
}

void orvoProject::ListWaves()
{
    // One wave per distinct file name, in the order of first use; every audio
    // entry refers to the wave of its name, which from then on holds the name
    // alone: a project keeps each name once.
    if (waves.Count() == 0) {
        std::unordered_map<std::string_view, int> byName; // views of the waves' names, positions in waves
        for (const auto& track : trackList.tracks) {
            for (const auto& audio : track->audios) {
                const auto found = byName.find(audio->File);
                if (found != byName.end()) {
                    audio->wave = waves.Item(found->second);
                } else {
                    auto wave = std::make_shared<orvoWave>();
                    wave->FileName = std::move(audio->File);
                    wave->project = this;
                    waves.add(wave);
                    byName.emplace(wave->FileName, waves.Count() - 1);
                    audio->wave = std::move(wave);
                }
                std::string().swap(audio->File);
            }
        }
        waves.Compact();
    }
    for (const auto& wave : waves)
        if (!wave->FileName.empty() && orvoWave::IsValidName(wave->FileName) && !ReadDir.empty())
            wave->Locate();
}

bool orvoProject::GetWaveInfo(int folder)
{
    ListWaves();
    // Read-only projects are copied, not measured.
    if (ReadOnly)
        return false;

    // The wave files are opened and announced a batch at a time before the
    // first of the batch is read, so a cold disk fetches them all at once.
    constexpr int WavesAhead = 64;
    bool failed = false;
    wavSize = 0;
    std::vector<FileDescriptor> files;
    for (int first = 0; first < waves.Count(); first += WavesAhead) {
        const int last = std::min(waves.Count(), first + WavesAhead);
        files.clear();
        for (int i = first; i < last; ++i)
            files.push_back(waves.Item(i)->Open(folder));
        for (int i = first; i < last; ++i) {
            orvoWave& wave = *waves.Item(i);
            if (wave.FileGetSize(files[static_cast<std::size_t>(i - first)])) {
                AddError(wave.LastError);
                failed = true;
            }
            wavSize += wave.fileSize;
        }
    }
    // Every wave's regions, gathered in one walk: a walk per wave would cost
    // waves times regions, which a project file of many names makes huge.
    std::unordered_map<const orvoWave*, std::vector<const orvoAudio*>> regions;
    for (const auto& track : trackList.tracks)
        for (const auto& audio : track->audios)
            regions[audio->wave.get()].push_back(audio.get());
    for (const auto& wave : waves) {
        wave->CalcUsage(regions[wave.get()]);
        samples += wave->samples;
        samplesUsed += wave->samplesUsed;
    }
    return failed;
}

void orvoProject::GetFileSize()
{
    SetOwnFiles(Listing().OwnFiles(Name));
}

void orvoProject::SetOwnFiles(std::vector<std::string> files)
{
    fileList = std::move(files);
    fileSize = 0;
    for (const auto& name : fileList)
        fileSize += FileLength(ReadDir + name);
}

void orvoProject::AddError(const std::string& text)
{
    if (LastError.empty())
        LastError = "Project: " + Name + "\r\n";
    else
        LastError += "\r\n";
    LastError += "     " + text;
}
