#include "Fixtures.h"
#include "FuzzTarget.h"
#include "ReferenceUsage.h"
#include "Samples.h"
#include "TextCodec.h"
#include "orvoProject.h"

#include <algorithm>
#include <set>

using namespace kelvark;

// A whole project read of an arbitrary project file, as the folder scan does
// it: FileOpenRead, FileRead, the steps of GetWaveInfo and the own files over a folder of
// the sample wave files (and names that are hidden, folders or links). The
// read must end with the file closed, one wave per distinct name linked from
// every region, sums that add up, the usage of the reference sweep, no file
// opened outside the folder, and the folder unchanged.

namespace {

namespace fs = std::filesystem;

// A name with its ASCII letters in lower case.
std::string Folded(std::string name)
{
    std::transform(name.begin(), name.end(), name.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return name;
}

struct Folder {
    fixtures::TempDir base;
    fs::path root = base.path() / "root";
    std::set<std::string> waves; // the names that are ordinary files of root
    std::set<std::string> folded; // the same, Folded
    std::vector<std::string> names;
    const std::string backup = "an older copy";

    Folder()
    {
        fs::create_directory(root);
        for (const auto& wave : fuzzing::SampleWaves()) {
            fixtures::WriteFile(root / wave.name, wave.bytes);
            waves.insert(wave.name);
            folded.insert(Folded(wave.name));
        }
        fixtures::WriteFile(root / "Song.bak", backup);
        fixtures::WriteFile(root / ".hidden.wav", fixtures::WaveHeader(100));
        fs::create_directory(root / "Folder.wav");
        fs::create_symlink("Take 1.wav", root / "Link.wav");
        // What a name that leaves the folder would reach.
        fixtures::WriteFile(base.path() / "Take 1.wav", fixtures::WaveHeader(100));
        fixtures::WriteFile(root / "Song.cue", "");
        const FolderListing listing(root);
        for (std::size_t i = 0; i < listing.Count(); ++i)
            names.emplace_back(listing.Name(i));
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const Folder folder;
    fixtures::WriteFile(folder.root / "Song.cue", std::string(reinterpret_cast<const char*>(data), size));

    fixtures::RecordingMessages messages;
    orvoProject project(messages);
    project.ReadDir = folder.root.string();
    project.Name = "Song";
    TagFile fi;
    FUZZ_CHECK(!project.FileOpenRead(fi));
    FUZZ_CHECK(!project.FileRead(fi));
    FUZZ_CHECK(!fi.IsOpen());
    // The regions' names, which the waves take over.
    const std::vector<std::string> regionNames = project.reading->trackList.files.names;
    // GetWaveInfo's steps one by one, so that each wave can be seen as measured.
    project.ListWaves();
    const auto& waves = project.reading->waves;
    for (auto& wave : project.reading->waves)
        wave.FileGetSize(wave.Open(AT_FDCWD), project.messages);

    // One wave per distinct name, and every region plays the wave of its name.
    std::set<std::string> names;
    for (const auto& track : project.reading->trackList.tracks) {
        for (const auto& audio : track.audios) {
            FUZZ_CHECK(audio.File >= 0 && static_cast<std::size_t>(audio.File) < regionNames.size());
            const std::string& name = regionNames[static_cast<std::size_t>(audio.File)];
            FUZZ_CHECK(waves[static_cast<std::size_t>(audio.File)].FileName == name);
            names.insert(name);
        }
    }
    FUZZ_CHECK(project.reading->trackList.files.names.empty());
    FUZZ_CHECK(waves.size() == names.size());

    std::int64_t wavSize = 0;
    std::int64_t samples = 0;
    std::vector<std::string> diskNames;
    for (const auto& wave : waves) {
        const std::string& name = wave.FileName;
        FUZZ_CHECK(wave.project == &project);
        if (!orvoWave::IsValidName(name)) {
            FUZZ_CHECK(wave.LastError() == "Invalid wave file name: " + name && wave.fileSize == 0);
        } else if (!name.empty()) {
            // The file found is one of the folder's, the name's own when it exists;
            // a name that no file equals, letter case and code page aside, finds none.
            if (wave.DiskName().empty())
                FUZZ_CHECK(wave.LastError() == "File not found: " + name && wave.fileSize == 0);
            else
                FUZZ_CHECK(folder.waves.contains(std::string(wave.DiskName())));
            if (folder.waves.contains(name))
                FUZZ_CHECK(wave.DiskName() == name);
            if (!folder.folded.contains(Folded(name)) && !folder.folded.contains(Folded(Win1252ToUtf8(name))))
                FUZZ_CHECK(wave.DiskName().empty());
        }
        diskNames.emplace_back(wave.DiskName());
        wavSize += wave.fileSize;
        samples += wave.samples;
    }
    // The usage of each wave is the reference sweep's over its regions.
    std::int64_t samplesUsed = 0;
    for (std::size_t i = 0; i < waves.size(); ++i) {
        std::vector<const orvoAudio*> regions;
        for (const auto& track : project.reading->trackList.tracks)
            for (const auto& audio : track.audios)
                if (static_cast<std::size_t>(audio.File) == i)
                    regions.push_back(&audio);
        samplesUsed += fixtures::ReferenceUsage(regions);
    }
    const bool failed = project.SumWaves();
    fixtures::GiveOwnFiles(project);
    FUZZ_CHECK(project.wavSize == wavSize && project.samples == samples && project.samplesUsed == samplesUsed);
    // What is kept of each wave names it as the read did.
    FUZZ_CHECK(!project.reading && project.WaveCount() == static_cast<int>(diskNames.size()));
    for (int i = 0; i < project.WaveCount(); ++i)
        FUZZ_CHECK(project.WaveName(i) == regionNames[static_cast<std::size_t>(i)]
                   && project.WaveDiskName(i) == diskNames[static_cast<std::size_t>(i)]);
    FUZZ_CHECK(failed == !project.LastError.empty());
    FUZZ_CHECK(!failed || project.LastError.starts_with("Project: Song\r\n     "));
    for (const auto& text : messages.shown)
        FUZZ_CHECK(text.starts_with("Unknown chunk \"") || text.ends_with(" has no broadcast-wave (bext) chunk"));

    FUZZ_CHECK(project.OwnFiles() == (std::vector<std::string>{"Song.bak", "Song.cue"}));
    FUZZ_CHECK(project.fileSize == static_cast<std::int64_t>(folder.backup.size() + size));
    const FolderListing listing(folder.root);
    FUZZ_CHECK(listing.Count() == folder.names.size());
    for (std::size_t i = 0; i < listing.Count() && i < folder.names.size(); ++i)
        FUZZ_CHECK(listing.Name(i) == folder.names[i]);
    return 0;
}
