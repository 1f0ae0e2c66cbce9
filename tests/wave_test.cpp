#include "Fixtures.h"
#include "HeadBatch.h"
#include "orvoProject.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

using namespace kelvark;

// This program's pread: every other read that gets more than one byte
// reports half of them, as a network file system may before a file's end;
// every measurement below must come out as a whole read gives it.
extern "C" ssize_t pread(int fd, void* buffer, size_t count, off_t offset)
{
    static const auto next = reinterpret_cast<ssize_t (*)(int, void*, size_t, off_t)>(::dlsym(RTLD_NEXT, "pread"));
    static int reads = 0;
    const ssize_t got = next(fd, buffer, count, offset);
    return got > 1 && ++reads % 2 == 0 ? got / 2 : got;
}

namespace {

using namespace fixtures;

// Measures the wave again from its head, read through a HeadBatch where it
// gives one: the outcome must not depend on the way its file is read.
void ExpectTheSameFromItsHead(const orvoWave& measured, bool failed, const std::vector<std::string>& notices)
{
    orvoWave wave = measured;
    if (!wave.Find())
        return;
    const FileDescriptor folder = OpenFolder(wave.project->ReadDir);
    HeadBatch batch;
    const char* name = wave.DiskName().data();
    const auto heads = batch.Read(folder.Get(), std::span(&name, 1));
    if (!heads[0])
        return;
    RecordingMessages again;
    EXPECT_EQ(wave.FileGetSize(*heads[0], folder.Get(), again), failed);
    EXPECT_EQ(wave.fileSize, measured.fileSize);
    EXPECT_EQ(wave.samples, measured.samples);
    EXPECT_EQ(wave.Rate, measured.Rate);
    EXPECT_EQ(wave.Bytes, measured.Bytes);
    EXPECT_EQ(wave.LastError(), measured.LastError());
    EXPECT_EQ(again.shown, notices);
}

// Measures one wave file written with the given bytes.
struct Measured {
    RecordingMessages messages;
    orvoProject project{messages};
    orvoWave wave;
    bool failed = false;

    explicit Measured(const std::string& bytes, const std::string& name = "w.wav")
    {
        TempDir dir;
        if (!bytes.empty() || name == "empty.wav")
            WriteFile(dir.path() / name, bytes);
        project.ReadDir = dir.str();
        wave.project = &project;
        wave.FileName = name;
        failed = wave.FileGetSize(wave.Open(AT_FDCWD), project.messages);
        ExpectTheSameFromItsHead(wave, failed, messages.shown);
    }
};

constexpr std::uint32_t kData = 96000;

TEST(FileGetSize, RiffFmtBextLayout)
{
    const std::string bytes = WaveHeader(kData, 48000, 16);
    const std::uint32_t riff = 4 + 24 + 610 + 8 + kData;
    Measured m(bytes);
    EXPECT_FALSE(m.failed);
    EXPECT_EQ(m.wave.fileSize, riff + 8);
    EXPECT_EQ(m.wave.Rate, 48000);
    EXPECT_EQ(m.wave.Bytes, 2);
    EXPECT_EQ(m.wave.samples, (riff - 24 - 610) / 2); // the data plus 12: (kData + 12) / 2
    EXPECT_TRUE(m.messages.shown.empty());
}

TEST(FileGetSize, BytesPerSampleRoundHalfToEven)
{
    EXPECT_EQ(Measured(WaveHeader(kData, 44100, 24)).wave.Bytes, 3);
    EXPECT_EQ(Measured(WaveHeader(kData, 44100, 20)).wave.Bytes, 2);
    EXPECT_EQ(Measured(WaveHeader(kData, 44100, 12)).wave.Bytes, 2);
    // (96000 + 12) / 3 = 32004
    EXPECT_EQ(Measured(WaveHeader(kData, 44100, 24)).wave.samples, 32004);
    // Four bits or fewer give no whole byte per sample and no samples.
    Measured nibble(WaveHeader(kData, 44100, 4));
    EXPECT_EQ(nibble.wave.Bytes, 0);
    EXPECT_EQ(nibble.wave.samples, 0);
    EXPECT_FALSE(nibble.failed);
}

TEST(FileGetSize, SamplesRoundHalfToEven)
{
    // Remaining sizes of 13 and 15 bytes at 2 bytes a sample: 6.5 -> 6, 7.5 -> 8.
    EXPECT_EQ(Measured(WaveHeader(1, 44100, 16)).wave.samples, 6);
    EXPECT_EQ(Measured(WaveHeader(3, 44100, 16)).wave.samples, 8);
}

TEST(FileGetSize, BextBeforeFmtStopsTheWalk)
{
    const std::string bytes =
        ChunkHeader("RIFF", 2000) + "WAVE" + ChunkHeader("bext", 602) + std::string(602, 'b') + FmtChunk(48000, 24);
    Measured m(bytes);
    EXPECT_EQ(m.wave.Rate, 44100);
    EXPECT_EQ(m.wave.Bytes, 2);
    EXPECT_EQ(m.wave.samples, (2000 - 610) / 2);
}

TEST(FileGetSize, OtherChunksAreReportedAndSkippedExactly)
{
    const std::string bytes = ChunkHeader("RIFF", 5000) + "WAVE" + FmtChunk(48000, 16) + ChunkHeader("LIST", 26)
                              + std::string(26, 'x') + ChunkHeader("bext", 602) + std::string(602, 'b');
    Measured m(bytes);
    EXPECT_EQ(m.messages.shown, std::vector<std::string>{"Unknown chunk \"LIST\" in file w.wav"});
    EXPECT_EQ(m.wave.samples, (5000 - 24 - 610) / 2); // skipped chunks stay in the count
}

TEST(FileGetSize, LargeChunksBeforeBextAreSkippedBySize)
{
    // A data chunk of 100,000 bytes before the bext chunk is skipped whole;
    // the audio is no unknown chunk.
    const std::string bytes = ChunkHeader("RIFF", 200000) + "WAVE" + FmtChunk(48000, 16) + ChunkHeader("data", 100000)
                              + std::string(100000, '\0') + ChunkHeader("LIST", 10) + std::string(10, 'l')
                              + ChunkHeader("bext", 10) + std::string(10, 'b');
    Measured m(bytes);
    EXPECT_EQ(m.messages.shown, std::vector<std::string>{"Unknown chunk \"LIST\" in file w.wav"});
    EXPECT_EQ(m.wave.samples, (200000 - 24 - 18) / 2);
}

// A wave without a bext chunk is an ordinary wave: one notice says so.
TEST(FileGetSize, NoBextChunkWalksToTheEnd)
{
    const std::string bytes =
        ChunkHeader("RIFF", 36 + 8) + "WAVE" + FmtChunk(44100, 16) + ChunkHeader("data", 8) + std::string(8, '\0');
    Measured m(bytes);
    EXPECT_FALSE(m.failed);
    EXPECT_EQ(m.wave.samples, (44 - 24) / 2);
    EXPECT_EQ(m.messages.shown, std::vector<std::string>{"w.wav has no broadcast-wave (bext) chunk"});
}

TEST(FileGetSize, ExtensibleFmtBodyIsSkippedWhole)
{
    const std::string fmt40 = ChunkHeader("fmt ", 40) + FmtChunk(96000, 24).substr(8) + std::string(24, '\x7f');
    const std::string bytes = ChunkHeader("RIFF", 1000) + "WAVE" + fmt40 + ChunkHeader("bext", 100);
    Measured m(bytes);
    EXPECT_TRUE(m.messages.shown.empty()); // the fmt tail is not read as a chunk
    EXPECT_EQ(m.wave.Rate, 96000);
    EXPECT_EQ(m.wave.Bytes, 3);
    EXPECT_EQ(m.wave.samples, (1000 - 48 - 108) / 3);
}

TEST(FileGetSize, SizesBeyondTwoGigabytesStayPositive)
{
    // A 3 GB declared size is read unsigned: 3,000,000,000 bytes, not negative.
    Measured m(ChunkHeader("RIFF", 3000000000u) + "WAVE" + FmtChunk(48000, 16) + ChunkHeader("bext", 602));
    EXPECT_EQ(m.wave.fileSize, 3000000008LL);
    EXPECT_EQ(m.wave.samples, (3000000000LL - 24 - 610) / 2);

    Measured huge(ChunkHeader("RIFF", 0xFFFFFFFFu) + "WAVE" + ChunkHeader("junk", 0xFFFFFFFFu) + "tail");
    EXPECT_FALSE(huge.failed);
    EXPECT_EQ(huge.wave.fileSize, 0xFFFFFFFFLL + 8);
}

TEST(FileGetSize, TruncatedHeadersEndTheWalk)
{
    Measured riffOnly(ChunkHeader("RIFF", 100) + "WA");
    EXPECT_FALSE(riffOnly.failed);
    EXPECT_EQ(riffOnly.wave.fileSize, 108);
    EXPECT_EQ(riffOnly.wave.samples, 50);

    // A cut fmt body reads its missing bytes as 0.
    Measured cutFmt(ChunkHeader("RIFF", 100) + "WAVE" + ChunkHeader("fmt ", 16) + Le16(1) + Le16(1) + Le32(22050));
    EXPECT_EQ(cutFmt.wave.Rate, 22050);
    EXPECT_EQ(cutFmt.wave.Bytes, 0);
    EXPECT_EQ(cutFmt.wave.samples, 0);

    Measured shortHeader("RIF");
    EXPECT_TRUE(shortHeader.failed);
    EXPECT_EQ(shortHeader.wave.LastError(), "File size zero: w.wav");
}

TEST(FileGetSize, MissingEmptyAndUnnamedFiles)
{
    Measured missing("", "gone.wav");
    EXPECT_TRUE(missing.failed);
    EXPECT_EQ(missing.wave.LastError(), "File not found: gone.wav");

    Measured empty("", "empty.wav");
    EXPECT_TRUE(empty.failed);
    EXPECT_EQ(empty.wave.LastError(), "File size zero: empty.wav");

    Measured hidden(WaveHeader(10), ".hidden.wav");
    EXPECT_EQ(hidden.wave.LastError(), "File not found: .hidden.wav");

    Measured noRiff(ChunkHeader("JUNK", 4) + "abcd");
    EXPECT_TRUE(noRiff.failed);
    EXPECT_EQ(noRiff.messages.shown.size(), 1u);
    EXPECT_EQ(noRiff.wave.LastError(), "File size zero: w.wav");

    RecordingMessages messages;
    orvoProject project(messages);
    orvoWave unnamed;
    unnamed.project = &project;
    project.ReadDir = "/";
    EXPECT_FALSE(unnamed.FileGetSize(unnamed.Open(AT_FDCWD), project.messages));
    unnamed.FileName = "x.wav";
    project.ReadDir.clear();
    EXPECT_FALSE(unnamed.FileGetSize(unnamed.Open(AT_FDCWD), project.messages));
    EXPECT_EQ(unnamed.fileSize, 0);
}

TEST(FileGetSize, InvalidNamesAreRefused)
{
    for (const std::string& name :
         std::vector<std::string>{"../w.wav", "a/b.wav", "a\\b.wav", ".", "..", std::string("a\0b", 3)}) {
        RecordingMessages messages;
        orvoProject project(messages);
        project.ReadDir = "/tmp/";
        orvoWave wave;
        wave.project = &project;
        wave.FileName = name;
        EXPECT_TRUE(wave.FileGetSize(wave.Open(AT_FDCWD), project.messages)) << name;
        EXPECT_EQ(wave.LastError(), "Invalid wave file name: " + name);
    }
    EXPECT_TRUE(orvoWave::IsValidName(""));
    EXPECT_TRUE(orvoWave::IsValidName("..wav"));
}

// A wave file whose header is written and whose rest is left unwritten
// (sparse): length bytes in all.
struct Sparse {
    RecordingMessages messages;
    orvoProject project{messages};
    orvoWave wave;
    bool failed = false;

    Sparse(const std::string& header, std::int64_t length)
    {
        TempDir dir;
        WriteFile(dir.path() / "Take.wav", header);
        fs::resize_file(dir.path() / "Take.wav", static_cast<std::uintmax_t>(length));
        project.ReadDir = dir.str();
        wave.project = &project;
        wave.FileName = "Take.wav";
        failed = wave.FileGetSize(wave.Open(AT_FDCWD), project.messages);
        ExpectTheSameFromItsHead(wave, failed, messages.shown);
    }
};

TEST(FileGetSize, TheTrueSizeIsTheLargerOfHeaderAndFile)
{
    constexpr std::int64_t GB3 = 3000000000;
    const std::string unfinalised = ChunkHeader("RIFF", 36) + "WAVE" + FmtChunk(48000, 16) + ChunkHeader("data", 0);
    struct Case {
        const char* what;
        std::string header;
        std::int64_t length;
        std::int64_t size;
        std::int64_t samples;
        std::string error;
        std::vector<std::string> notices;
    };
    const Case cases[] = {
        {"a take whose recorder never finalised its header: the walk stops at the unwritten rest",
         unfinalised,
         GB3,
         GB3,
         (GB3 - 8 - 24) / 2,
         "Header of \"Take.wav\" gives 44 bytes, the file has 3000000000.",
         {"Chunk walk stopped at byte 44 of file Take.wav: the rest of the file is unwritten.",
          "Take.wav has no broadcast-wave (bext) chunk"}},
        {"a header that declares less than its own chunks",
         ChunkHeader("RIFF", 100) + "WAVE" + FmtChunk(48000, 16) + ChunkHeader("bext", 602) + std::string(602, 'b'),
         654,
         654,
         (654 - 8 - 24 - 610) / 2,
         "Header of \"Take.wav\" gives 108 bytes, the file has 654.",
         {}},
        {"a header that declares more than the file: the declared size",
         WaveHeader(kData),
         700,
         DeclaredSize(kData),
         (kData + 12) / 2,
         "",
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Sparse s(c.header, c.length);
        EXPECT_EQ(s.wave.fileSize, c.size);
        EXPECT_EQ(s.wave.samples, c.samples);
        EXPECT_EQ(s.failed, !c.error.empty());
        EXPECT_EQ(s.wave.LastError(), c.error);
        EXPECT_EQ(s.messages.shown, c.notices);
    }
}

TEST(FileGetSize, TheWalkStopsAfterAHundredUnknownChunks)
{
    std::string bytes = ChunkHeader("RIFF", 4 + 150 * 8) + "WAVE";
    for (int i = 0; i < 150; ++i)
        bytes += ChunkHeader("junk", 0);
    const Measured m(bytes);
    ASSERT_EQ(m.messages.shown.size(), 101u);
    EXPECT_EQ(m.messages.shown[99], "Unknown chunk \"junk\" in file w.wav");
    EXPECT_EQ(m.messages.shown[100], "Chunk walk stopped at byte 812 of file w.wav after 100 unknown chunks.");
    EXPECT_FALSE(m.failed);
}

} // namespace
