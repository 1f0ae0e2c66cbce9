#include "Fixtures.h"
#include "orvoProject.h"

#include <gtest/gtest.h>

using namespace kelvark;

namespace {

using namespace fixtures;

// Reads one project the way a folder scan does.
struct ProjectRead {
    RecordingMessages messages;
    orvoProject project{messages};
    bool openFailed = false;
    bool waveFailed = false;

    ProjectRead(const TempDir& dir, const std::string& name)
    {
        project.ReadDir = dir.path().string();
        project.Name = name;
        TagFile fi;
        openFailed = project.FileOpenRead(fi);
        if (!openFailed) {
            EXPECT_FALSE(project.FileRead(fi));
            EXPECT_FALSE(fi.IsOpen());
            waveFailed = project.GetWaveInfo();
            GiveOwnFiles(project);
        }
    }
};

TEST(FileOpenRead, ReportsABlankFolderAndAMissingFile)
{
    RecordingMessages messages;
    orvoProject blank(messages);
    blank.Name = "Song";
    TagFile fi;
    EXPECT_TRUE(blank.FileOpenRead(fi));
    EXPECT_EQ(blank.LastError, "Read directory is blank");
    EXPECT_FALSE(fi.IsOpen());

    TempDir dir;
    ProjectRead missing(dir, "Song");
    EXPECT_TRUE(missing.openFailed);
    EXPECT_EQ(missing.project.LastError, "Can't open CUE file Song");
    EXPECT_EQ(missing.project.ReadDir, dir.str()); // the separator is added all the same

    // A hidden project file counts as absent.
    WriteFile(dir.path() / ".Hidden.cue", "");
    EXPECT_TRUE(ProjectRead(dir, ".Hidden").openFailed);
}

TEST(FileOpenRead, OpensTheFileOnDiskWhateverTheExtensionCase)
{
    TempDir dir;
    WriteFile(dir.path() / "Song.CUE", CueText({{{"a.wav", 0, 10}}}));
    ProjectRead read(dir, "Song");
    EXPECT_FALSE(read.openFailed);
    EXPECT_EQ(read.project.trackCount, 1u);
}

TEST(FileOpenRead, ReadOnlyProjectIsMeasuredLikeAnyOther)
{
    // Its files are copied onto the disc whole: the plan counts them.
    TempDir dir;
    WriteFile(dir.path() / "Song.cue", CueText({{{"a.wav", 0, 10}, {"b.wav", 0, 10}}}));
    WriteFile(dir.path() / "a.wav", WaveHeader(1000));
    MakeReadOnly(dir.path() / "Song.cue");
    ProjectRead read(dir, "Song");
    EXPECT_TRUE(read.project.ReadOnly);
    EXPECT_TRUE(read.waveFailed); // b.wav is missing
    EXPECT_EQ(read.project.LastError, "Project: Song\r\n     File not found: b.wav");
    EXPECT_EQ(read.project.WaveCount(), 2);
    EXPECT_EQ(read.project.wavSize, DeclaredSize(1000));
}

TEST(GetWaveInfo, OneWavePerDistinctNameInOrderOfFirstUse)
{
    TempDir dir;
    WriteFile(dir.path() / "Song.cue",
              CueText({{{"b.wav", 0, 10}, {"a.wav", 0, 10}}, {{"a.wav", 20, 10}, {"A.wav", 0, 5}}}));
    for (const char* name : {"a.wav", "b.wav", "A.wav"})
        WriteFile(dir.path() / name, WaveHeader(4000, 44100, 16));
    ProjectRead read(dir, "Song");
    const auto& p = read.project;
    ASSERT_EQ(p.WaveCount(), 3);
    EXPECT_EQ(p.WaveName(0), "b.wav");
    EXPECT_EQ(p.WaveName(1), "a.wav");
    EXPECT_EQ(p.WaveName(2), "A.wav");
    EXPECT_EQ(p.wavSize, 3 * (8 + 4 + 24 + 8 + 602 + 8 + 4000));
    EXPECT_EQ(p.samples, 3 * (4000 + 12) / 2);
    EXPECT_EQ(p.samplesUsed, 10 + 20 + 5);
}

TEST(GetWaveInfo, CollectsEveryFailingWaveUnderOneHeader)
{
    TempDir dir;
    WriteFile(dir.path() / "Song.cue",
              CueText({{{"ok.wav", 0, 1}, {"gone.wav", 0, 1}, {"ok2.wav", 0, 1}, {"empty.wav", 0, 1}}}));
    WriteFile(dir.path() / "ok.wav", WaveHeader(100));
    WriteFile(dir.path() / "ok2.wav", WaveHeader(100));
    WriteFile(dir.path() / "empty.wav", "");
    ProjectRead read(dir, "Song");
    EXPECT_TRUE(read.waveFailed);
    EXPECT_EQ(read.project.LastError,
              "Project: Song\r\n     File not found: gone.wav\r\n     File size zero: empty.wav");
    EXPECT_EQ(read.project.wavSize, 2 * (8 + 4 + 24 + 8 + 602 + 8 + 100));
}

TEST(GetWaveInfo, InvalidWaveNamesAreNeverOpened)
{
    TempDir dir;
    const auto inner = dir.path() / "inner";
    std::filesystem::create_directory(inner);
    WriteFile(dir.path() / "outside.wav", WaveHeader(100));
    WriteFile(inner / "Song.cue", CueText({{{"../outside.wav", 0, 1}, {"..", 0, 1}, {".", 0, 1}, {"a\\b.wav", 0, 1}}}));
    RecordingMessages messages;
    orvoProject project(messages);
    project.ReadDir = inner.string() + "/";
    project.Name = "Song";
    TagFile fi;
    ASSERT_FALSE(project.FileOpenRead(fi));
    project.FileRead(fi);
    EXPECT_TRUE(project.GetWaveInfo());
    EXPECT_EQ(project.LastError, "Project: Song\r\n     Invalid wave file name: ../outside.wav\r\n"
                                 "     Invalid wave file name: ..\r\n     Invalid wave file name: .\r\n"
                                 "     Invalid wave file name: a\\b.wav");
    EXPECT_EQ(project.wavSize, 0);
}

TEST(GetWaveInfo, NoAudioMeansNoWavesAndNoError)
{
    TempDir dir;
    WriteFile(dir.path() / "Song.cue", "Qlist {\nTrack {\n}\n}\n");
    ProjectRead read(dir, "Song");
    EXPECT_FALSE(read.waveFailed);
    EXPECT_EQ(read.project.WaveCount(), 0);
    EXPECT_EQ(read.project.wavSize, 0);
}

TEST(OwnFiles, AreTheNameWithAnyExtension)
{
    TempDir dir;
    WriteFile(dir.path() / "Song.cue", "12345");
    WriteFile(dir.path() / "Song.bak", "123");
    WriteFile(dir.path() / "Song", "1");
    WriteFile(dir.path() / "Song.x.y", "12");
    WriteFile(dir.path() / "Song2.cue", "1234567");
    WriteFile(dir.path() / "song.bak", "1234567");
    WriteFile(dir.path() / ".Song.swp", "1234567");
    std::filesystem::create_directory(dir.path() / "Song.d");
    std::filesystem::create_symlink(dir.path() / "Song.bak", dir.path() / "Song.lnk");
    ProjectRead read(dir, "Song");
    EXPECT_EQ(read.project.OwnFiles(), (std::vector<std::string>{"Song", "Song.bak", "Song.cue", "Song.x.y"}));
    EXPECT_EQ(read.project.fileSize, 1 + 3 + 5 + 2);
}

TEST(orvoProject, NewRecordIsEmpty)
{
    RecordingMessages messages;
    orvoProject project(messages);
    EXPECT_EQ(project.BackupNum, -1);
    EXPECT_FALSE(project.IsAProject);
    EXPECT_FALSE(project.ReadOnly);
    EXPECT_EQ(project.wavSize + project.fileSize, 0);
    EXPECT_FALSE(project.GetWaveInfo());
}

} // namespace
