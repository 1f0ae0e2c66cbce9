// The window's disc checksums: File ▸ "Write checksums…", the offer after a
// Backup Sort and File ▸ "Verify discs…" with its result list.

#include "DiscCheck.h"
#include "Manifest.h"
#include "UiTest.h"
#include "frmVerify.h"

#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTreeWidget>

#include <filesystem>

using namespace kelvark;

namespace {

namespace fs = std::filesystem;
using fixtures::ReadFile;
using fixtures::WriteFile;
using fixtures::WriteProject;
using uitest::Qs;

class DiscChecks : public uitest::FolderWindowTest {
protected:
    // The names SHA256SUMS lists in folder, "-" when there is none.
    std::vector<std::string> Listed(const std::string& folder) const
    {
        const fs::path sums = root.path() / folder / ManifestName;
        if (!fs::exists(sums))
            return {"-"};
        std::vector<std::string> names;
        for (const auto& entry : ParseManifest(ReadFile(sums)).entries)
            names.push_back(entry.name);
        return names;
    }

    // Presses OK in the folder chooser that the next command opens, after
    // checking its title and start folder; then runs after, if given.
    void ChooseStartFolder(const std::function<void()>& after = {})
    {
        uitest::WhenShown<QFileDialog>([this, after](QFileDialog& chooser) {
            EXPECT_EQ(chooser.windowTitle(), "Verify discs");
            EXPECT_EQ(chooser.directory().absolutePath() + "/", Qs(root.str()));
            static_cast<QDialog&>(chooser).accept(); // QFileDialog keeps its accept protected
            if (after)
                after();
        });
    }

    // The rows of the result list, their columns joined by "|".
    static std::vector<std::string> Rows(const frmVerify& result)
    {
        std::vector<std::string> rows;
        for (int r = 0; r < result.lstResult->topLevelItemCount(); ++r) {
            const QTreeWidgetItem* item = result.lstResult->topLevelItem(r);
            rows.push_back(
                (item->text(0) + "|" + item->text(1) + "|" + item->text(2) + "|" + item->text(3)).toStdString());
        }
        return rows;
    }
};

TEST_F(DiscChecks, WriteChecksumsWritesIntoEachSetFolderAndAsksBeforeReplacing)
{
    for (const char* set : {"DVD-A", "DVD-B"}) {
        fs::create_directory(root.path() / set);
        WriteFile(root.path() / set / (std::string(set) + ".wav"), "take one");
    }
    Open();
    m->menuFileChecksums->trigger();
    EXPECT_TRUE(w->question.asked.empty());
    EXPECT_EQ(w->messages.shown,
              std::vector<std::string>({"DVD-A: SHA256SUMS lists 1 file.\r\nDVD-B: SHA256SUMS lists 1 file."}));
    EXPECT_EQ(Listed("DVD-A"), std::vector<std::string>({"DVD-A.wav"}));
    EXPECT_EQ(Listed("DVD-B"), std::vector<std::string>({"DVD-B.wav"}));

    // The question is the command line's refusal; No leaves the files as they are, Yes writes new ones.
    const std::string before = ReadFile(root.path() / "DVD-B" / ManifestName);
    WriteFile(root.path() / "DVD-B" / "DVD-B.wav", "take two");
    for (const bool yes : {false, true}) {
        w->question = {};
        w->question.answer = yes;
        w->messages.shown.clear();
        m->menuFileChecksums->trigger();
        EXPECT_EQ(w->question.asked, std::vector<std::string>({"DVD-A, DVD-B hold a SHA256SUMS already.\r\n\r\n"
                                                               "Replace them?|Write checksums"}));
        EXPECT_EQ(w->messages.shown.size(), yes ? 1u : 0u);
        EXPECT_EQ(ReadFile(root.path() / "DVD-B" / ManifestName) != before, yes);
    }
}

TEST_F(DiscChecks, WriteChecksumsRefusesAFolderWithoutSetFolders)
{
    Open();
    m->menuFileChecksums->trigger();
    EXPECT_TRUE(w->question.asked.empty());
    EXPECT_EQ(w->messages.shown, std::vector<std::string>(
                                     {"There is no backup set folder (CD-A, DVD-A, BD-A, …) in " + root.str() + "."}));
}

TEST_F(DiscChecks, ABackupSortThatEndedOffersToWriteTheChecksums)
{
    WriteProject(root.path(), "Alpha", {{"alpha.wav", 300000}});
    WriteProject(root.path(), "Beta", {{"beta.wav", 200000}});
    for (const bool yes : {false, true}) {
        Open();
        m->cmdReadFolder->click();
        w->question.answers = {true, yes};
        m->cmdRearrange[0]->click();

        ASSERT_EQ(w->question.asked.size(), 2u);
        EXPECT_EQ(w->question.asked[1], "Write checksums into the 1 set folder now? Reading less than 1 MB takes "
                                        "less than a minute.|Write checksums");
        EXPECT_TRUE(w->messages.shown.back().starts_with(yes ? "DVD-A: SHA256SUMS lists 5 files."
                                                             : "Done.  CSV files are in folder " + root.str() + "."));
        EXPECT_EQ(Listed("DVD-A"),
                  yes ? std::vector<std::string>({"Alpha.cue", "alpha.wav", "Beta.cue", "beta.wav", "Kelvark Disc.txt"})
                      : std::vector<std::string>({"-"}));
        if (yes)
            break;
        // Back to the unsorted folder, and a catalogue that never knew DVD-A, for the next answer.
        for (const char* name : {"Alpha.cue", "Beta.cue", "alpha.wav", "beta.wav"})
            fs::rename(root.path() / "DVD-A" / name, root.path() / name);
        fs::remove_all(root.path() / "DVD-A");
        fs::remove(m->catalogue);
    }
}

// A set folder whose checksums were written, then one wave changed, one
// missing and one file added; a file of no project is intact.
TEST_F(DiscChecks, VerifyListsEachProjectAndExtraFileWithItsVerdict)
{
    const fs::path set = root.path() / "DVD-A";
    fs::create_directory(set);
    WriteProject(set, "Alder", {{"Alder 1.wav"}, {"Alder 2.wav"}});
    WriteProject(set, "Blue", {{"Blue 1.wav"}});
    WriteProject(set, "Cedar", {{"Cedar 1.wav"}});
    WriteFile(set / "cover.jpg", "a photo");
    fixtures::RecordingProgress progress;
    ASSERT_FALSE(WriteChecksums(root.str(), HeldSums::Refuse, progress).Failed());
    WriteFile(set / "Alder 2.wav", ReadFile(set / "Alder 2.wav") + "x");
    fs::remove(set / "Blue 1.wav");
    WriteFile(set / "notes.txt", "session notes");

    Open();
    ChooseStartFolder();
    m->menuFileVerify->trigger();

    const auto* result = m->findChild<frmVerify*>();
    ASSERT_NE(result, nullptr);
    EXPECT_TRUE(result->isVisible());
    EXPECT_EQ(Rows(*result),
              std::vector<std::string>({"DVD-A|Alder|changed|\"Alder 2.wav\"", "DVD-A|Blue|missing|\"Blue 1.wav\"",
                                        "DVD-A|Cedar|intact|", "DVD-A|not part of a project|intact|",
                                        "DVD-A||extra file|\"notes.txt\""}));
    EXPECT_EQ(result->txtSummary->toPlainText(), "DVD-A: 1 project intact, 1 changed, 1 missing, 1 extra file");
    EXPECT_FALSE(m->progress.isVisible());

    // Rows with a fault have the warning icon on a tinted background; intact ones neither.
    const QImage warning = result->style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(16).toImage();
    for (int r = 0; r < result->lstResult->topLevelItemCount(); ++r) {
        const QTreeWidgetItem* item = result->lstResult->topLevelItem(r);
        const bool faulty = item->text(2) != "intact";
        EXPECT_EQ(item->icon(2).pixmap(16).toImage() == warning, faulty) << r;
        EXPECT_EQ(item->background(1).style() != Qt::NoBrush, faulty) << r;
    }

    // Copy gives the whole result as the command line prints it.
    result->cmdCopy->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "DVD-A: Alder: changed \"Alder 2.wav\"\n"
                                                    "DVD-A: Blue: missing \"Blue 1.wav\"\n"
                                                    "DVD-A: Cedar: intact\n"
                                                    "DVD-A: not part of a project: intact\n"
                                                    "DVD-A: extra file \"notes.txt\"\n"
                                                    "DVD-A: 1 project intact, 1 changed, 1 missing, 1 extra file");
    // Save writes it as a text file, in the folder verified unless told otherwise.
    uitest::WhenShown<QFileDialog>([this](QFileDialog& chooser) {
        EXPECT_EQ(chooser.windowTitle(), "Save verify result");
        EXPECT_EQ(chooser.directory().absolutePath() + "/", Qs(root.str()));
        chooser.selectFile(Qs((root.path() / "result").string()));
        static_cast<QDialog&>(chooser).accept();
    });
    result->cmdSave->click();
    EXPECT_EQ(Qs(ReadFile(root.path() / "result.txt")), QGuiApplication::clipboard()->text() + "\n");
}

TEST_F(DiscChecks, VerifyStoppedShowsWhatWasChecked)
{
    fs::create_directory(root.path() / "CD-A");
    WriteProject(root.path() / "CD-A", "Alder", {{"Alder 1.wav"}});
    fixtures::RecordingProgress progress;
    ASSERT_FALSE(WriteChecksums(root.str(), HeldSums::Refuse, progress).Failed());

    Open();
    // Cancel, pressed as the verify's first loop starts, while the worker waits.
    QObject::connect(
        &m->progress, &frmProgress::Started, &m->progress, [this] { m->progress.cmdCancel->click(); },
        Qt::BlockingQueuedConnection);
    ChooseStartFolder();
    m->menuFileVerify->trigger();

    const auto* result = m->findChild<frmVerify*>();
    ASSERT_NE(result, nullptr);
    EXPECT_TRUE(result->txtSummary->toPlainText().endsWith("\nStopped: 0 of 2 files checked."))
        << result->txtSummary->toPlainText().toStdString();
}

TEST_F(DiscChecks, VerifyOfAFolderWithoutChecksumsSaysSoAndCancelDoesNothing)
{
    Open();
    uitest::WhenShown<QFileDialog>([](QFileDialog& chooser) { chooser.reject(); });
    m->menuFileVerify->trigger();
    EXPECT_TRUE(w->messages.shown.empty());

    ChooseStartFolder();
    m->menuFileVerify->trigger();
    EXPECT_EQ(w->messages.shown, std::vector<std::string>({root.str()
                                                           + " holds no SHA256SUMS, nor does any backup set folder "
                                                             "(CD-A, DVD-A, BD-A, …) in it."}));
    EXPECT_EQ(m->findChild<frmVerify*>(), nullptr);
}

TEST_F(DiscChecks, ResultListIsNeverTallerThanTheScreenAndScrolls)
{
    const fs::path set = root.path() / "DVD-A";
    fs::create_directory(set);
    for (int p = 0; p < 80; ++p)
        WriteProject(set, "Project " + std::to_string(p), {{"take " + std::to_string(p) + ".wav"}});
    fixtures::RecordingProgress progress;
    ASSERT_FALSE(WriteChecksums(root.str(), HeldSums::Refuse, progress).Failed());

    Open();
    m->show();
    ChooseStartFolder();
    m->menuFileVerify->trigger();

    auto* result = m->findChild<frmVerify*>();
    ASSERT_NE(result, nullptr);
    ASSERT_EQ(result->lstResult->topLevelItemCount(), 80);
    QApplication::processEvents();
    const QRect screen = m->screen()->availableGeometry();
    EXPECT_TRUE(screen.contains(result->geometry())) << result->geometry().height() << " " << screen.height();
    EXPECT_GT(result->lstResult->verticalScrollBar()->maximum(), 0);
}

} // namespace
