#include "Samples.h"

#include "JournalFile.h"

#include "Fixtures.h"
#include "ProjectTexts.h"
#include "RegionBytes.h"

using namespace kelvark;

namespace fuzzing {

using namespace fixtures;

std::vector<NamedBytes> SampleWaves()
{
    const std::string fmt40 = ChunkHeader("fmt ", 40) + FmtChunk(96000, 24).substr(8) + std::string(24, '\x7f');
    return {
        {"Take 1.wav", WaveHeader(96000, 48000, 16)},
        {"Take 2.wav", WaveHeader(96000, 44100, 24)},
        {"Twenty.wav", WaveHeader(1, 44100, 20)},
        {"Nibble.wav", WaveHeader(3, 44100, 4)},
        {"Bext First.wav",
         ChunkHeader("RIFF", 2000) + "WAVE" + ChunkHeader("bext", 602) + std::string(602, 'b') + FmtChunk(48000, 24)},
        {"List.wav", ChunkHeader("RIFF", 5000) + "WAVE" + FmtChunk(48000, 16) + ChunkHeader("LIST", 26)
                         + std::string(26, 'x') + ChunkHeader("bext", 602) + std::string(602, 'b')},
        {"Data First.wav", ChunkHeader("RIFF", 200000) + "WAVE" + FmtChunk(48000, 16) + ChunkHeader("data", 1000)
                               + std::string(1000, '\0') + ChunkHeader("bext", 10) + std::string(10, 'b')},
        {"No Bext.wav",
         ChunkHeader("RIFF", 44) + "WAVE" + FmtChunk(44100, 16) + ChunkHeader("data", 8) + std::string(8, '\0')},
        {"Extensible.wav", ChunkHeader("RIFF", 1000) + "WAVE" + fmt40 + ChunkHeader("bext", 100)},
        {"Huge.wav", ChunkHeader("RIFF", 3000000000u) + "WAVE" + FmtChunk(48000, 16) + ChunkHeader("bext", 602)},
        {"Largest.wav", ChunkHeader("RIFF", 0xFFFFFFFFu) + "WAVE" + ChunkHeader("junk", 0xFFFFFFFFu) + "tail"},
        {"Riff Only.wav", ChunkHeader("RIFF", 100) + "WA"},
        {"Cut Fmt.wav", ChunkHeader("RIFF", 100) + "WAVE" + ChunkHeader("fmt ", 16) + Le16(1) + Le16(1) + Le32(22050)},
        {"Short.wav", "RIF"},
        {"No Riff.wav", ChunkHeader("JUNK", 4) + "abcd"},
        {"Empty.wav", ""},
    };
}

std::vector<NamedBytes> SampleProjects()
{
    std::vector<Region> everyWave;
    std::int64_t offset = 0;
    for (const auto& wave : SampleWaves())
        everyWave.push_back({wave.name, offset += 7, 1000});
    // Names that are not ordinary files of the folder, or that would leave it.
    for (const char* name : {"Gone.wav", ".hidden.wav", "Folder.wav", "Link.wav", "../Take 1.wav", "..", ".",
                             "a\\b.wav", "/etc/passwd", "sub/Take 1.wav"})
        everyWave.push_back({name, 0, 10});

    return {
        {"Every Wave.cue", CueText({everyWave})},
        {"Shared.cue", CueText({{{"Take 1.wav", 0, 10}, {"Take 2.wav", 5, 10}},
                                {{"Take 1.wav", 5, 10}, {"take 1.wav", 0, 5}, {"Take 1.wav", 0, 20}}})},
        {"Sections.cue", SectionsText},
        {"Blank Line.cue", BlankLineText},
        {"Cut.cue", "Qlist {\nTrack {\nAudio {\nFile = \"Take 2.wav\""},
        {"Keywords.cue", KeywordsText},
        {"Numbers.cue", "Qlist {\nTrack {\nTrack = 40000\n"
                        "Audio {\nFile = Twenty.wav\nTime = +12\nOffset = 2147483648\nLength = 12abc\n}\n"
                        "Audio {\nFile = Twenty.wav\nTime = \" 7 \"\nOffset = -2147483648\nLength = 3\r\n}\n"
                        "}\n}\n"},
        {"Crlf.cue",
         "Qlist {\r\nTrack {\r\nAudio {\r\nFile = \"Take 1.wav\"\r\nOffset = 0\r\nLength = 50\r\n}\r\n}\r\n}\r\n"},
        {"No Qlist.cue", "nothing here\n"},
        {"Empty.cue", ""},
    };
}

std::vector<NamedBytes> SampleLines()
{
    return {
        {"Lines.txt", "  Track \t 1   \n"
                      "   \n"
                      "a\t\n"
                      "File \"My Song 1.wav\"\n"
                      "x 'say \"hi\"'\n"
                      "'ab'cd\n"
                      "a\"b c\n"
                      "x \"\"\n"
                      "File \"open ended\n"
                      "File \"\n"
                      "Time: 25\n"
                      "a b:c\n"
                      ":\n"
                      "Track Name: x\n"
                      "Name \"a:b\"\n"
                      "\"a:b\" c d\n"
                      "0 1 2 3 4 5 6 7 8 9 10\n"
                      "0 1 2 3 4 5 6 7 8 9 10 11\n"
                      "Track = 5\n"
                      "x\n"
                      "Track {\r\n"
                      "last"},
    };
}

std::vector<NamedBytes> SampleRegionLists()
{
    const auto list = [](std::vector<EncodedRegion> regions) { return EncodeRegions(regions); };
    return {
        {"Overlapping", list({{0, false, 0, 10}, {0, false, 5, 10}})},
        {"Nested", list({{0, false, 0, 20}, {0, false, 5, 5}})},
        {"Identical", list({{0, false, 0, 10}, {0, false, 0, 10}})},
        {"Shared Start", list({{0, false, 0, 10}, {0, false, 0, 20}})},
        {"End First", list({{0, false, 0, 10}, {0, false, 10, 10}})},
        {"Start First", list({{0, false, 10, 10}, {0, false, 0, 10}})},
        {"Across Tracks", list({{1, false, 10, 10}, {0, false, 0, 10}})},
        {"Other Wave", list({{0, false, 0, 10}, {0, true, 5, 100}})},
        {"Beyond The Limit", list({{0, false, 2147418000, 1000}})},
        {"Wide", list({{0, false, 0, 2147418111}, {0, false, 2147483647, 2147483647}})},
        {"Negative", list({{0, false, -50, 100}, {0, false, 20, -10}, {0, false, 7, 0}})},
    };
}

std::vector<NamedBytes> SampleJournals()
{
    using fixtures::JournalText;
    return {
        {"sort", JournalText("sort",
                             {{"folder", "CD-A"},
                              {"folder", "CD-B"},
                              {"unit", "A"},
                              {"move", "A.cue", "CD-A/A.cue"},
                              {"move", "A take.wav", "CD-A/A take.wav"},
                              {"unit", "B", "C"},
                              {"copy", "B.cue", "CD-B/B.cue"},
                              {"report", "Backup Report.txt", "ORVEX", "", "CD-A"}},
                             {{"done", "0"}})},
        {"move", JournalText("move", {{"dest", "/tmp/kelvark-fuzz-dest"}, {"unit", "A"}, {"move", "A.cue", "A.cue"}},
                             {{"across", "0", "100", "1700000000"}})},
        {"rename", JournalText("rename", {{"unit", "Take"}, {"move", "Take.cue", "Final.cue"}})},
        {"unsort", JournalText("unsort", {{"folder", "DVD-A"},
                                          {"unit", "DVD-A"},
                                          {"move", "DVD-A/a.wav", "a.wav"},
                                          {"uncopy", "DVD-A/b.wav", "b.wav"}})},
        {"outside", JournalText("sort", {{"folder", "CD-A"}, {"unit", "A"}, {"move", "../a", "CD-A/a"}})},
        {"cut-short", fixtures::JournalLine({"kelvark-journal 2"}) + fixtures::JournalLine({"kind", "sort"})},
    };
}

} // namespace fuzzing
