// Writing set folders onto blank discs, with a file taken as the drive
// ("stdio:FILE", which xorriso writes as it writes a disc): each disc is read
// back and its check is the set's result; a disc that is not blank is refused
// before anything is written onto it, and a stop says what became of the disc.

#include "Burn.h"
#include "Commands.h"
#include "Fixtures.h"

#include <gtest/gtest.h>

#include <functional>
#include <sys/stat.h>

using namespace kelvark;

namespace {

using namespace fixtures;

// Answers the question for the next blank disc by taking the written file out
// of the drive: the file is blank again once it is gone.
struct DiscSwapper final : Question {
    fs::path disc;
    std::vector<fs::path> written;
    std::vector<std::string> asked;
    bool Confirm(const Asking& asking) override
    {
        asked.push_back(asking.Text());
        written.push_back(disc.string() + "." + std::to_string(written.size() + 1));
        fs::rename(disc, written.back());
        return true;
    }
    bool AskYesNo(const std::string&, const std::string&) override { return false; }
};

// Stops the write at the first line xorriso gives while it writes.
struct StopsWriting final : Progress {
    void Hide() override {}
    void Startup(int amountToDo) override { amountToDo == 0 ? RequestStop() : ClearStop(); }
    void Show(int, const std::string& text) override
    {
        if (text.starts_with("Writing "))
            RequestStop();
    }
};

// A sorted folder of two CD sets with their checksums, CD-A holding Alpha
// and CD-B holding Beta, and the file that is the drive.
class burn : public ::testing::Test {
protected:
    void SetUp() override
    {
        WriteProject(studio.root.path(), "Alpha", {{"alpha.wav", 400000000}});
        WriteProject(studio.root.path(), "Beta", {{"beta.wav", 400000000}});
        studio.Read(true);
        ASSERT_FALSE(studio.Sort());
        ASSERT_FALSE(ChecksumCommand(studio.root.str(), false, studio.ui.commands()).Failed());
    }

    Result Burn(const std::vector<std::string>& sets, Question& question, Progress& progress)
    {
        return BurnCommand(studio.root.str(), sets, drive, {messages, progress, question}, checks);
    }

    Studio studio;
    TempDir drawer;
    fs::path disc = drawer.path() / "disc";
    std::string drive = "stdio:" + disc.string();
    RecordingMessages messages;
    RecordingProgress progress;
    VerifyResult checks;
};

TEST_F(burn, EachSetGoesOntoTheNextBlankDiscAndIsReadBack)
{
    DiscSwapper user;
    user.disc = disc;
    const Result burnt = Burn({"CD-A", "CD-B"}, user, progress);
    ASSERT_EQ(burnt.Ended(), Result::Status::Done) << burnt.Message();
    EXPECT_EQ(user.asked,
              (std::vector<std::string>{"CD-A: 1 project intact, 0 changed, 0 missing, 0 extra files\r\n\r\n"
                                        "Insert a blank CD for CD-B into "
                                        + drive + ", then press Enter"}));
    // What was written, and each disc's summary after its lines.
    std::vector<std::string> told;
    for (const std::string& line : burnt.Lines())
        if (line.starts_with("Wrote ") || line.find(" intact, ") != std::string::npos)
            told.push_back(line);
    EXPECT_EQ(told, (std::vector<std::string>{"Wrote CD-A onto the disc in " + drive + ".",
                                              "CD-A: 1 project intact, 0 changed, 0 missing, 0 extra files",
                                              "Wrote CD-B onto the disc in " + drive + ".",
                                              "CD-B: 1 project intact, 0 changed, 0 missing, 0 extra files"}))
        << burnt.Message();
    ASSERT_EQ(checks.folders.size(), 2u);

    // Each disc is an image that verify finds whole.
    VerifyResult verified;
    EXPECT_FALSE(VerifyCommand({user.written.at(0).string(), disc.string()}, false, progress, verified).Failed());
    ASSERT_EQ(verified.folders.size(), 2u);
    EXPECT_EQ(verified.folders[0].name, "CD-A");
    EXPECT_EQ(verified.folders[1].name, "CD-B");
}

TEST_F(burn, ADiscThatIsNotBlankIsRefusedBeforeAnythingIsWritten)
{
    DiscSwapper user;
    user.disc = disc;
    ASSERT_FALSE(Burn({"CD-B"}, user, progress).Failed());
    const std::string written = ReadFile(disc);

    const Result refused = Burn({"CD-A", "CD-B"}, user, progress);
    EXPECT_EQ(refused.Ended(), Result::Status::Refused);
    EXPECT_EQ(refused.Lines(), (std::vector<std::string>{
                                   drive + " holds data; a disc image or blank disc target must be absent or empty.",
                                   "CD-A, CD-B were not written."}));
    EXPECT_TRUE(user.asked.empty());
    EXPECT_EQ(ReadFile(disc), written);
    EXPECT_TRUE(checks.folders.empty());

    // The window writes one disc at a time and asks for each blank disc, the first too.
    const Result one = WriteDiscCommand(studio.root.str(), "CD-A", {{}, drive}, {messages, progress, user}, checks);
    EXPECT_EQ(one.Ended(), Result::Status::Done) << one.Message();
    EXPECT_EQ(user.asked, std::vector<std::string>{"Insert a blank CD for CD-A into " + drive + ", then press Enter"});
    EXPECT_EQ(ReadFile(user.written.at(0)), written);
}

// A file taken as a drive is a blank disc only when it is missing or empty:
// xorriso calls a file whose first 64 KiB are zeros blank, and a recording
// that starts with silence would be written over.
TEST_F(burn, AFileTakenAsADriveIsWrittenOnlyWhenMissingOrEmpty)
{
    struct Row {
        std::string what;
        std::function<void(const fs::path&)> make;
        std::string says; // after the drive's name; empty: written
    };
    const std::string must = "; a disc image or blank disc target must be absent or empty.";
    const std::vector<Row> rows = {
        {"silence", [](const fs::path& at) { WriteFile(at, std::string(100 * 1024, '\0')); }, " holds data" + must},
        {"one byte", [](const fs::path& at) { WriteFile(at, "x"); }, " holds data" + must},
        {"a folder", [](const fs::path& at) { fs::create_directory(at); }, " is a folder" + must},
        {"a link", [](const fs::path& at) { fs::create_symlink(at.string() + ".gone", at); },
         " is a symbolic link" + must},
        {"a pipe", [](const fs::path& at) { ASSERT_EQ(::mkfifo(at.c_str(), 0600), 0); }, " is a pipe" + must},
        {"empty", [](const fs::path& at) { WriteFile(at, ""); }, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        fs::remove_all(disc);
        row.make(disc);
        const bool regular = fs::is_regular_file(fs::symlink_status(disc));
        const std::string before = regular ? ReadFile(disc) : "";
        DiscSwapper user;
        user.disc = disc;
        const Result result = Burn({"CD-A"}, user, progress);
        if (row.says.empty()) {
            EXPECT_EQ(result.Ended(), Result::Status::Done) << result.Message();
            continue;
        }
        EXPECT_EQ(result.Ended(), Result::Status::Refused);
        EXPECT_EQ(result.Lines(), (std::vector<std::string>{drive + row.says, "CD-A was not written."}));
        if (regular) {
            EXPECT_TRUE(ReadFile(disc) == before) << "the file was written over";
        }
        EXPECT_TRUE(checks.folders.empty());
    }
}

TEST_F(burn, AStopWhileWritingSaysWhatBecameOfTheDisc)
{
    DiscSwapper user;
    user.disc = disc;
    StopsWriting stopping;
    const Result stopped = Burn({"CD-A", "CD-B"}, user, stopping);
    EXPECT_EQ(stopped.Ended(), Result::Status::Stopped);
    // A file xorriso began to write is a spoilt disc; one it did not begin is still blank.
    const bool begun = fs::exists(disc) && fs::file_size(disc) > 0;
    EXPECT_EQ(stopped.Lines(), (std::vector<std::string>{
                                   begun ? "Stopped: the disc in " + drive + " is spoilt: CD-A was not written whole."
                                         : "Stopped before CD-A was written: the disc in " + drive + " is still blank.",
                                   "CD-B was not written."}));
    EXPECT_TRUE(user.asked.empty());
    EXPECT_TRUE(checks.folders.empty());
}

// A disc is taken only when it is blank and holds the image and what xorriso
// writes after it.
TEST(discRefusal, NamesWhatIsWrongWithTheDiscInTheDrive)
{
    SetDisc set;
    set.name = "DVD-B";
    set.sectors = 2'295'000;
    const struct {
        LoadedDisc disc;
        std::string refusal;
    } cases[] = {
        {{}, "DVD-B was not written: there is no disc in /dev/sr0."},
        {{true, false, "DVD+R", "written, closed", 0}, "DVD-B was not written: the disc in /dev/sr0 is not blank."},
        {{true, true, "DVD+R", "blank", -1},
         "DVD-B was not written: xorriso does not tell how much the disc in /dev/sr0 holds."},
        {{true, true, "DVD+R", "blank", 2'295'149},
         "DVD-B was not written: it needs up to 2,295,150 sectors, more than the 2,295,149 free on the disc in "
         "/dev/sr0."},
        {{true, true, "DVD+R", "blank", 2'295'150}, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DiscRefusal(set, "/dev/sr0", c.disc), c.refusal);
}

// What xorriso says of drives and discs, as it says it, and what Kelvark reads from it.
TEST(drives, TheDriveListAndTheDiscAreReadFromXorrisosLines)
{
    const std::vector<Drive> drives = ParseDevices({
        "Beginning to scan for devices ...",
        "Full drive scan done",
        "-----------------------------------------------------------------------------",
        "0  -dev '/dev/sr0' rwrw-- :  'HL-DT-ST' 'DVDRAM GH24NSD1' ",
        "1  -dev '/dev/sr1' rwrw-- :  'Optiarc ' 'DVD RW AD-5240S'",
        "2  -dev '/dev/sr2' rwrw-- :  ''",
        "xorriso : SORRY : No drives found",
        "x  -dev '/dev/sr9' rwrw-- :  'A' 'B'",
    });
    ASSERT_EQ(drives.size(), 3u);
    EXPECT_EQ(drives[0].device + "|" + drives[0].vendor + "|" + drives[0].model, "/dev/sr0|HL-DT-ST|DVDRAM GH24NSD1");
    EXPECT_EQ(drives[1].device + "|" + drives[1].vendor + "|" + drives[1].model, "/dev/sr1|Optiarc|DVD RW AD-5240S");
    EXPECT_EQ(drives[2].device + "|" + drives[2].vendor + "|" + drives[2].model, "/dev/sr2||");

    const struct {
        std::vector<std::string> lines;
        std::string text;
        bool blank;
    } discs[] = {
        {{"Drive current: -outdev '/dev/sr0'", "Media current: DVD+R", "Media status : is blank",
          "Media summary: 0 sessions, 0 data blocks, 0 data, 4483m free", "Media space  : 2295104s",
          "After commit : 2295104s"},
         "DVD+R, blank, 2,295,104 sectors free",
         true},
        {{"Media current: CD-RW", "Media status : is written , is closed",
          "Media summary: 1 session, 157156 data blocks,  307m data,     0 free", "Media space  : 0s"},
         "CD-RW, written, closed",
         false},
        {{"Media current: stdio file, overwriteable", "Media status : is written , is appendable",
          "Media space  : 23335476s"},
         "stdio file, overwriteable, written, appendable",
         false},
        {{"Media current: is not present", "Media status : is not present"}, "no disc", false},
        {{"Media current: is not recognizable", "Media status : is not recognizable"}, "not recognizable", false},
        {{"Media current: BD-R", "Media status : is blank", "Media space  : lots"}, "BD-R, blank", true},
        {{"xorriso : FAILURE : Cannot acquire drive '/dev/sr0'"}, "no disc", false},
    };
    for (const auto& c : discs) {
        const LoadedDisc disc = ParseLoadedDisc(c.lines);
        EXPECT_EQ(LoadedDiscText(disc), c.text) << c.lines.front();
        EXPECT_EQ(disc.blank, c.blank) << c.lines.front();
    }
}

} // namespace
