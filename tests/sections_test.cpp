#include "Fixtures.h"
#include "ProjectTexts.h"
#include "orvoProject.h"

#include <gtest/gtest.h>

using namespace kelvark;

namespace {

using namespace fixtures;

// Reads text as a project file and returns the project.
std::unique_ptr<orvoProject> Read(const std::string& text, RecordingMessages& messages)
{
    TempDir dir;
    WriteFile(dir.path() / "P.cue", text);
    auto project = std::make_unique<orvoProject>(messages);
    project->ReadDir = dir.str();
    project->Name = "P";
    TagFile fi;
    EXPECT_FALSE(project->FileOpenRead(fi));
    EXPECT_FALSE(project->FileRead(fi));
    return project;
}

// The file name a region of the read project plays.
const std::string& FileOf(const orvoProject& p, const orvoAudio& audio)
{
    return p.reading->trackList.files.names.at(static_cast<std::size_t>(audio.File));
}

TEST(ProjectFile, TracksAndVirtualTracksInFileOrder)
{
    RecordingMessages messages;
    const auto p = Read(SectionsText, messages);
    const auto& tracks = p->reading->trackList.tracks;
    ASSERT_EQ(tracks.size(), 2);
    EXPECT_EQ(tracks[0].num, 3);
    EXPECT_EQ(tracks[1].num, 4);
    const auto& audio = tracks[0].audios.at(0);
    EXPECT_EQ(FileOf(*p, audio), "Take 1.wav");
    EXPECT_EQ(audio.Time, 7);
    EXPECT_EQ(audio.Offset, -5);
    EXPECT_EQ(audio.Length, 100);
    const auto& vtracks = p->reading->trackList.VTrack.vtracks;
    ASSERT_EQ(vtracks.size(), 2u);
    EXPECT_EQ(vtracks[0].Name, "Lead Vox");
    EXPECT_EQ(vtracks[0].File, "lead.wav");
    EXPECT_EQ(vtracks[0].Physical, 3);
    EXPECT_EQ(vtracks[1].Virtual, 2);
}

TEST(ProjectFile, BlankLineEndsAnAudioEntryButNotATrack)
{
    RecordingMessages messages;
    const auto p = Read(BlankLineText, messages);
    // The blank line ends the audio entry; its File line is skipped by the
    // track, the audio's own "}" ends the track, and each later brace closes
    // one level further out than written.
    const auto& tracks = p->reading->trackList.tracks;
    ASSERT_EQ(tracks.size(), 1);
    ASSERT_EQ(tracks[0].audios.size(), 1u);
    EXPECT_EQ(tracks[0].audios[0].Offset, 1);
    EXPECT_EQ(FileOf(*p, tracks[0].audios[0]), "");
}

TEST(ProjectFile, FileEndingInsideAnAudioKeepsEverythingRead)
{
    RecordingMessages messages;
    const auto p = Read("Qlist {\nTrack {\nAudio {\nFile = a.wav", messages);
    ASSERT_EQ(p->reading->trackList.tracks.size(), 1);
    EXPECT_EQ(FileOf(*p, p->reading->trackList.tracks[0].audios.at(0)), "a.wav");
}

TEST(ProjectFile, KeywordsAreExactAndColonKeysNeverMatch)
{
    RecordingMessages messages;
    const auto p = Read(KeywordsText, messages);
    // Several Qlist sections fill the same track list; "Audio" directly in the
    // track list and "track" are skipped.
    ASSERT_EQ(p->reading->trackList.tracks.size(), 2);
    const auto& audio = p->reading->trackList.tracks[0].audios.at(0);
    EXPECT_EQ(audio.Time, 0);
    EXPECT_EQ(audio.Offset, 9);
    // A field line with two tokens reads the stale third slot: "9" of the Offset line.
    EXPECT_EQ(FileOf(*p, audio), "9");
}

TEST(ProjectFile, NumberFieldsTakeOnlyWholeNumbersThatFit)
{
    RecordingMessages messages;
    const auto p = Read("Qlist {\nTrack {\nTrack = 40000\n"
                        "Audio {\nTime = +12\nOffset = 2147483648\nLength = 12abc\n}\n"
                        "Audio {\nTime = \" 7 \"\nOffset = -2147483648\nLength = 3\r\n}\n"
                        "}\n}\n",
                        messages);
    const auto& track = p->reading->trackList.tracks[0];
    EXPECT_EQ(track.num, 0);
    EXPECT_EQ(track.audios.at(0).Time, 12);
    EXPECT_EQ(track.audios.at(0).Offset, 0);
    EXPECT_EQ(track.audios.at(0).Length, 0);
    EXPECT_EQ(track.audios.at(1).Time, 7);
    EXPECT_EQ(track.audios.at(1).Offset, -2147483648LL);
    EXPECT_EQ(track.audios.at(1).Length, 3);
}

TEST(ProjectFile, NoQlistGivesAnEmptyTrackList)
{
    RecordingMessages messages;
    EXPECT_EQ(Read("nothing here\n", messages)->reading->trackList.tracks.size(), 0);
    EXPECT_EQ(Read("", messages)->reading->trackList.tracks.size(), 0);
}

} // namespace
