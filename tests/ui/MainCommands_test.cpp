#include "Commands.h"
#include "MessageBoxes.h"
#include "UiTest.h"

#include <QComboBox>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QThread>
#include <QToolTip>

#include <filesystem>
#include <utility>

using namespace kelvark;

namespace {

namespace fs = std::filesystem;
using fixtures::Snapshot;
using fixtures::TempDir;
using fixtures::WriteProject;
using uitest::AnswerFolderDialog;
using uitest::FolderDialogSeen;
using uitest::Qs;
using uitest::StoredSetting;
using uitest::StoreSetting;

// A root folder of three regular projects, read by the window.
class Commands : public uitest::FolderWindowTest {
protected:
    TempDir dest;

    void SetUp() override
    {
        UiTest::SetUp();
        WriteProject(root.path(), "Alpha", {{"alpha.wav", 300000}});
        WriteProject(root.path(), "Beta", {{"beta.wav", 200000}});
        WriteProject(root.path(), "Gamma", {{"gamma.wav", 100000}});
    }

    // Runs act on the window's thread as the next loop of a command starts,
    // while the command waits on its worker thread.
    void WhenLoopStarts(const std::function<void()>& act)
    {
        auto connection = std::make_shared<QMetaObject::Connection>();
        *connection = QObject::connect(
            &m->progress, &frmProgress::Started, m,
            [connection, act] {
                QObject::disconnect(*connection);
                act();
            },
            Qt::BlockingQueuedConnection);
    }

    void OpenAndRead()
    {
        Open();
        m->cmdReadFolder->click();
        ASSERT_EQ(m->grdOut->RowCount(), 3);
    }

    void Select(int r) { m->grdOut->SetSelected(r - 1, true); }

    // The set letter and the BU tooltip of each row.
    std::vector<std::string> Sets() const
    {
        std::vector<std::string> sets;
        for (int r = 0; r < m->grdOut->RowCount(); ++r)
            sets.push_back(m->grdOut->Text(r, 4).toStdString() + "|" + m->grdOut->ToolTip(r, 4).toStdString());
        return sets;
    }

    // The set letter of each row.
    std::vector<std::string> Letters() const
    {
        std::vector<std::string> letters;
        for (int r = 0; r < m->grdOut->RowCount(); ++r)
            letters.push_back(m->grdOut->Text(r, 4).toStdString());
        return letters;
    }

    // Picks entry i of the media combo box, as a click in its list does.
    void ChooseOther(int i)
    {
        m->cboMedium->setCurrentIndex(i);
        emit m->cboMedium->activated(i);
    }

    bool InRoot(const std::string& name) const { return fs::exists(root.path() / name); }
    bool InDest(const std::string& name) const { return fs::exists(dest.path() / name); }
};

using BackupSort = Commands;

TEST_F(BackupSort, AsksAboutTheSelectedMediumAndNoDoesNothing)
{
    OpenAndRead();
    const auto before = Snapshot(root.path());
    w->question.answer = false;

    m->cmdRearrange[0]->click();
    m->optCD->setChecked(true);
    m->cmdRearrange[0]->click();

    EXPECT_EQ(w->question.asked,
              std::vector<std::string>(
                  {"Move projects in to backup directories with a max size of 4.6 gigabytes?|Backup sort",
                   "Move projects in to backup directories with a max size of 649 megabytes?|Backup sort"}));
    EXPECT_EQ(Snapshot(root.path()), before);
    EXPECT_TRUE(w->messages.shown.empty());
}

TEST_F(BackupSort, YesSortsWithThePrefixOfTheMediumSelectedNow)
{
    OpenAndRead();
    m->optCD->setChecked(true); // after a read planned for DVD
    w->question.answers = {true, false}; // the sort, not the checksums offered after it
    m->cmdRearrange[0]->click();

    ASSERT_EQ(w->question.asked.size(), 2u);
    EXPECT_TRUE(fs::exists(root.path() / "CD-A" / "Alpha.cue"));
    EXPECT_TRUE(fs::exists(root.path() / "CD-A" / "gamma.wav"));
    EXPECT_FALSE(InRoot("Beta.cue"));
    EXPECT_TRUE(InRoot("Backup Report.txt"));
    ASSERT_EQ(w->messages.shown.size(), 1u);
    EXPECT_TRUE(w->messages.shown[0].starts_with("Done.  CSV files are in folder " + root.str() + ".\r\nMade "))
        << w->messages.shown[0];
    EXPECT_EQ(m->grdOut->RowCount(), 0) << "the sorted projects left the folder: the grid is read again";
    EXPECT_EQ(m->lblProjCount->text(), Qs("No ORVEX projects in " + root.path().string() + "."));

    // Every project is in a set now: both buttons refuse and write nothing.
    const auto before = Snapshot(root.path());
    for (QPushButton* button : m->cmdRearrange) {
        w->messages.shown.clear();
        button->click();
        EXPECT_EQ(w->messages.shown, std::vector<std::string>({"No ORVEX projects in " + root.path().string() + "."}));
    }
    EXPECT_EQ(Snapshot(root.path()), before);
}

TEST_F(BackupSort, ReportOnlyWritesTheThreeFilesWithoutAsking)
{
    OpenAndRead();
    const auto before = Snapshot(root.path());
    m->cmdRearrange[1]->click();

    EXPECT_TRUE(w->question.asked.empty());
    EXPECT_TRUE(InRoot("Backup Report.txt"));
    EXPECT_TRUE(InRoot("Backups.csv"));
    EXPECT_TRUE(InRoot("BackupProjects.csv"));
    for (const auto& [name, content] : before)
        EXPECT_TRUE(InRoot(name)) << name << " stays where it was";
    EXPECT_EQ(w->messages.shown, std::vector<std::string>({"Done.  CSV files are in folder " + root.str()
                                                           + ".\r\nWrote Backup Report.txt, Backups.csv, "
                                                             "BackupProjects.csv into "
                                                           + root.str() + "."}));
}

TEST_F(BackupSort, BothButtonsRefuseAFolderThatWasNotRead)
{
    fixtures::TempDir other;
    for (const bool readFirst : {false, true}) {
        Open();
        if (readFirst) {
            m->cmdReadFolder->click();
            AnswerFolderDialog(other.path().string());
            m->cmdChooseFolder->click();
        }
        const std::string folder = readFirst ? other.str() : root.str();
        const auto before = Snapshot(folder);
        for (QPushButton* button : m->cmdRearrange)
            button->click();

        const std::string refusal = "Read the folder first: the grid does not show the projects of " + folder + ".";
        EXPECT_EQ(w->messages.shown, std::vector<std::string>({refusal, refusal})) << readFirst;
        EXPECT_TRUE(w->question.asked.empty());
        EXPECT_EQ(Snapshot(folder), before);
    }
}

TEST_F(BackupSort, ReportOnlyAsksToLeaveOutTheProjectsOnNoDisc)
{
    WriteProject(root.path(), "Huge", {{"huge.wav", 700000000}});
    Open();
    m->optCD->setChecked(true);
    m->cmdReadFolder->click();
    const auto before = Snapshot(root.path());
    const std::string notice = "This project fits on no CD: Huge.";

    w->question.answer = false;
    m->cmdRearrange[1]->click();
    EXPECT_EQ(w->question.asked,
              std::vector<std::string>({notice + "\r\n\r\nWrite the reports without it?|Report Only"}));
    EXPECT_TRUE(w->messages.shown.empty());
    EXPECT_EQ(Snapshot(root.path()), before);

    w->question.answer = true;
    m->cmdRearrange[1]->click();
    EXPECT_EQ(w->messages.shown, std::vector<std::string>({"Done.  CSV files are in folder " + root.str()
                                                           + ".\r\nWrote Backup Report.txt, Backups.csv, "
                                                             "BackupProjects.csv into "
                                                           + root.str() + "."}));
    EXPECT_EQ(fixtures::ReadFile(root.path() / "Backup Report.txt").find("Huge"), std::string::npos);
}

// A project the sort can't take: No to the question refuses the sort, which
// says why; Yes sorts the others and leaves it whole in the folder.
TEST_F(BackupSort, AProjectThatCantBeSortedStaysInTheFolderOnceTheUserAgrees)
{
    WriteProject(root.path(), "Huge", {{"huge.wav", 700000000}});
    Open();
    m->optCD->setChecked(true);
    m->cmdReadFolder->click();
    const auto before = Snapshot(root.path());
    const std::vector<std::string> asked = {
        "Move projects in to backup directories with a max size of 649 megabytes?|Backup sort",
        "1 project can't be sorted:\r\nProject Huge: larger than one CD (680.5 MB)\r\n\r\n"
        "Sort the other 3 projects and leave this one in the folder?|Backup sort"};

    w->question.answers = {true, false};
    m->cmdRearrange[0]->click();
    EXPECT_EQ(w->question.asked, asked);
    EXPECT_EQ(Snapshot(root.path()), before);
    EXPECT_EQ(w->messages.shown.back(),
              "Nothing was sorted: 1 project fits on no CD.\r\nProject Huge: larger than one CD (680.5 MB)");

    w->question.asked.clear();
    w->question.answers = {true, true, false}; // the sort, the rest, not the checksums
    m->cmdRearrange[0]->click();
    EXPECT_EQ(std::vector<std::string>(w->question.asked.begin(), w->question.asked.begin() + 2), asked);
    for (const char* name : {"Alpha.cue", "alpha.wav", "Beta.cue", "beta.wav", "Gamma.cue", "gamma.wav"}) {
        EXPECT_TRUE(fs::exists(root.path() / "CD-A" / name)) << name;
        EXPECT_FALSE(InRoot(name)) << name;
    }
    EXPECT_TRUE(InRoot("Huge.cue"));
    EXPECT_TRUE(InRoot("huge.wav"));
    EXPECT_EQ(Letters(), std::vector<std::string>({""})) << "the grid is read again and shows what stayed";
}

// A name that a disc written for Windows can't keep: the sort asks whether to
// go on (No moves nothing), Report Only says so and writes the reports.
TEST_F(BackupSort, NamesADiscCantKeepAreAskedAboutBeforeASortAndSaidBeforeTheReports)
{
    const std::string longName(70, 'L');
    WriteProject(root.path(), longName, {{"long.wav", 1000}});
    Open();
    m->cmdReadFolder->click();
    const auto before = Snapshot(root.path());
    const std::string warning =
        "These names are longer than a disc written for Windows keeps (64 characters): \"" + longName + ".cue\".";

    w->question.answers = {true, false};
    m->cmdRearrange[0]->click();
    ASSERT_EQ(w->question.asked.size(), 2u);
    EXPECT_EQ(w->question.asked[1], warning + "\r\n\r\nSort anyway?|Backup sort");
    EXPECT_EQ(Snapshot(root.path()), before);

    m->cmdRearrange[1]->click();
    EXPECT_EQ(w->messages.shown, std::vector<std::string>({warning, "Done.  CSV files are in folder " + root.str()
                                                                        + ".\r\nWrote Backup Report.txt, Backups.csv, "
                                                                          "BackupProjects.csv into "
                                                                        + root.str() + "."}));
    EXPECT_TRUE(InRoot("Backup Report.txt"));
}

// Undo backup sort takes back the sets of the medium chosen: a custom size's DISC-A, ….
TEST_F(BackupSort, UndoTakesBackTheSetsOfTheMediumChosen)
{
    OpenAndRead();
    w->input.answers = {"16G"};
    ChooseOther(m->cboMedium->count() - 1);
    w->question.answers = {true, false}; // the sort, not the checksums
    m->cmdRearrange[0]->click();
    ASSERT_TRUE(fs::exists(root.path() / "DISC-A" / "Alpha.cue"));

    w->question.asked.clear();
    w->question.answers = {};
    w->question.answer = true;
    m->menuFileUnsort->trigger();
    ASSERT_EQ(w->question.asked.size(), 1u);
    EXPECT_TRUE(w->question.asked[0].ends_with("|Undo backup sort")) << w->question.asked[0];
    for (const char* name : {"Alpha.cue", "alpha.wav", "Beta.cue", "beta.wav", "Gamma.cue", "gamma.wav"})
        EXPECT_TRUE(InRoot(name)) << name;
    EXPECT_FALSE(InRoot("DISC-A/Alpha.cue"));
    EXPECT_EQ(m->grdOut->RowCount(), 3);
}

// The BU cell gives its set's totals, the Size cell of a read-only project
// what the plan counted for it, any other Size cell its exact bytes.
TEST_F(Commands, SetTotalsAndTheSizeOfAReadOnlyProjectShowAsTooltips)
{
    fixtures::MakeReadOnly(root.path() / "Beta.cue");
    WriteProject(root.path(), "Huge", {{"huge.wav", 700000000}});
    Open();
    m->optCD->setChecked(true);
    m->cmdReadFolder->click();
    ASSERT_EQ(Letters(), std::vector<std::string>({"A", "A", "A", ""}));
    EXPECT_EQ(m->grdOut->ToolTip(0, 4), "CD-A: 0.6 MB of 680.5 MB, 3 projects");
    EXPECT_EQ(m->grdOut->ToolTip(3, 4), "Larger than one CD (680.5 MB)");
    EXPECT_EQ(m->grdOut->Text(1, 1), "-");
    EXPECT_EQ(m->grdOut->ToolTip(1, 1), "Counted in the plan: 0.2 MB");
    EXPECT_EQ(m->grdOut->ToolTip(0, 1), "300,654 bytes");

    m->optDVD->setChecked(true);
    EXPECT_EQ(m->grdOut->ToolTip(3, 4), "DVD-A: 700.6 MB of 4,600.0 MB, 4 projects");
    EXPECT_EQ(m->grdOut->ToolTip(1, 1), "Counted in the plan: 0.2 MB");
}

using Medium = Commands;

TEST_F(Medium, SelectingItPlansTheProjectsReadAgain)
{
    WriteProject(root.path(), "Huge", {{"huge.wav", 700000000}});
    Open();
    m->cmdReadFolder->click();
    const std::string dvdA = "A|DVD-A: 700.6 MB of 4,600.0 MB, 4 projects";
    const std::string cdA = "A|CD-A: 0.6 MB of 680.5 MB, 3 projects";
    const std::vector<std::string> dvd = {dvdA, dvdA, dvdA, dvdA};
    const std::vector<std::string> cd = {cdA, cdA, cdA, "|Larger than one CD (680.5 MB)"};
    ASSERT_EQ(Sets(), dvd);
    fs::remove(root.path() / "Alpha.cue"); // a read would show it gone

    m->optCD->setChecked(true);
    EXPECT_EQ(Sets(), cd);
    m->optDVD->setChecked(true);
    EXPECT_EQ(Sets(), dvd);
    EXPECT_EQ(m->grdOut->Text(0, 0), "Alpha") << "no read";

    // Selected while a read runs: the read's plan follows it.
    QMetaObject::invokeMethod(
        m, [this] { m->optCD->setChecked(true); }, Qt::QueuedConnection);
    m->cmdReadFolder->click();
    const std::string cdA2 = "A|CD-A: 0.3 MB of 680.5 MB, 2 projects";
    EXPECT_EQ(Sets(), std::vector<std::string>({cdA2, cdA2, cd[3]}));
}

// An entry of the combo box checks Other and plans for its medium; the last
// entry asks for a size, says what is wrong with a bad one and asks again,
// and keeps the choice as it was on Cancel.
TEST_F(Medium, OtherPlansForTheEntryOfTheComboBoxOrACustomSize)
{
    WriteProject(root.path(), "Huge", {{"huge.wav", 700000000}});
    Open();
    m->optCD->setChecked(true);
    m->cmdReadFolder->click();
    ASSERT_EQ(Letters(), std::vector<std::string>({"A", "A", "A", ""}));

    ChooseOther(0);
    EXPECT_TRUE(m->optOther->isChecked());
    EXPECT_FALSE(m->optCD->isChecked());
    EXPECT_EQ(Letters(), std::vector<std::string>({"A", "A", "A", "A"})) << "an 80-minute CD holds 700 MB";
    EXPECT_EQ(m->grdOut->ToolTip(0, 4), "CD-A: 700.6 MB of 733.0 MB, 4 projects");
    EXPECT_EQ(StoredSetting("Medium"), "cd80");

    // The size box takes sizes only: a medium's name is no size.
    const std::string prompt = "Size of one disk, such as 700 MB, 16 GB or 25 GiB:|Custom size|";
    w->input.answers = {"cd", "400 MB"};
    ChooseOther(m->cboMedium->count() - 1);
    EXPECT_EQ(w->input.prompts, std::vector<std::string>({prompt, prompt + "cd"}));
    EXPECT_EQ(w->messages.shown, std::vector<std::string>({"Enter a size such as 700 MB, 16 GB or 25 GiB."}));
    EXPECT_EQ(m->cboMedium->currentText(), "custom disk (395.8 MB)");
    EXPECT_EQ(Sets().back(), "|Larger than one custom disk (395.8 MB)");
    EXPECT_EQ(StoredSetting("Medium"), "400000000");

    m->optDVD->setChecked(true);
    w->input.prompts.clear();
    ChooseOther(m->cboMedium->count() - 1); // and Cancel
    EXPECT_EQ(w->input.prompts.size(), 1u);
    EXPECT_TRUE(m->optDVD->isChecked());
    EXPECT_EQ(m->cboMedium->currentText(), "custom disk (395.8 MB)");
    EXPECT_EQ(Letters(), std::vector<std::string>({"A", "A", "A", "A"}));
    EXPECT_EQ(StoredSetting("Medium"), "dvd");

    // A second size takes the first one's entry.
    w->input.answers = {"16G"};
    ChooseOther(m->cboMedium->count() - 1);
    EXPECT_EQ(m->cboMedium->count(), 7);
    EXPECT_EQ(m->cboMedium->currentText(), "custom disk (15.9 GB)");
    EXPECT_TRUE(m->optOther->isChecked());
}

// The medium chosen is there again in the next window: its option button, and
// for another medium its entry, a custom size among them.
TEST_F(Medium, TheChoiceIsThereAgainInTheNextWindow)
{
    Open();
    ChooseOther(1);
    Open();
    EXPECT_TRUE(m->optOther->isChecked());
    EXPECT_EQ(m->cboMedium->currentText(), "dual-layer DVD (8.5 GB)");

    w->input.answers = {"700MiB"};
    ChooseOther(m->cboMedium->count() - 1);
    Open();
    EXPECT_TRUE(m->optOther->isChecked());
    EXPECT_EQ(m->cboMedium->currentText(), "custom disk (729.8 MB)");
    EXPECT_EQ(m->cboMedium->count(), 7);

    m->optCD->setChecked(true);
    Open();
    EXPECT_TRUE(m->optCD->isChecked());
    EXPECT_EQ(m->cboMedium->count(), 6) << "the custom size was not kept";

    StoreSetting("Medium", "floppy");
    Open();
    EXPECT_TRUE(m->optDVD->isChecked());
}

using Move = Commands;

TEST_F(Move, MovesTheSelectedProjectsAndRemembersTheFolder)
{
    OpenAndRead();
    Select(1);
    Select(2);
    FolderDialogSeen seen;
    AnswerFolderDialog(dest.path().string(), &seen);
    m->cmdMove->click();

    EXPECT_EQ(seen.startedAt, root.path().string()) << "the stored move folder, by default the folder read";
    for (const char* name : {"Alpha.cue", "alpha.wav", "Beta.cue", "beta.wav"}) {
        EXPECT_TRUE(InDest(name)) << name;
        EXPECT_FALSE(InRoot(name)) << name;
    }
    EXPECT_TRUE(InRoot("Gamma.cue"));
    ASSERT_EQ(m->grdOut->RowCount(), 1);
    EXPECT_EQ(m->grdOut->Text(0, 0), "Gamma");
    EXPECT_EQ(m->lblProjCount->text(), "1 project");
    EXPECT_EQ(m->MoveFolder, dest.str());
    EXPECT_EQ(StoredSetting("MoveFolder"), Qs(dest.str()));
    EXPECT_FALSE(m->cmdErrors->isEnabled());
    EXPECT_EQ(w->messages.shown, std::vector<std::string>({"Moved Alpha, Beta to " + dest.str() + "."}));
}

TEST_F(Move, FailingTestShowsTheConflictsAndMovesNothing)
{
    OpenAndRead();
    fixtures::WriteFile(dest.path() / "alpha.wav", "already here");
    const auto before = Snapshot(root.path());
    Select(1);
    Select(3);
    AnswerFolderDialog(dest.path().string());
    m->cmdMove->click();

    EXPECT_EQ(w->messages.shown,
              std::vector<std::string>(
                  {"Nothing was moved.\r\nAlready in destination directory:\r\n\r\nProject: Alpha\r\n     alpha.wav"}));
    EXPECT_FALSE(m->cmdErrors->isEnabled()) << "Show Errors shows the read's listing, which has none";
    EXPECT_EQ(Snapshot(root.path()), before);
    EXPECT_FALSE(InDest("Gamma.cue"));
    EXPECT_EQ(m->grdOut->RowCount(), 3);
    EXPECT_EQ(m->MoveFolder, dest.str()) << "the new folder is kept even when the test fails";
    EXPECT_EQ(StoredSetting("MoveFolder"), Qs(dest.str()));
}

TEST_F(Move, AMoveStoppedByAnErrorHidesTheProgressDialog)
{
    OpenAndRead();
    m->show();
    for (int r = 1; r <= 3; ++r)
        Select(r);
    // Once the move has been checked and begins, a file of the second project
    // appears in the destination: the move stops there, before its last project.
    WhenLoopStarts([this] { fixtures::WriteFile(dest.path() / "beta.wav", "someone else's take"); });
    AnswerFolderDialog(dest.path().string());
    m->cmdMove->click();

    ASSERT_EQ(w->messages.shown.size(), 1u);
    EXPECT_NE(w->messages.shown[0].find("beta.wav"), std::string::npos) << w->messages.shown[0];
    EXPECT_TRUE(InDest("Alpha.cue"));
    EXPECT_FALSE(m->progress.isVisible());
}

TEST_F(Move, SameFolderAsBeforeWritesNoSetting)
{
    StoreSetting("MoveFolder", Qs(dest.str()));
    OpenAndRead();
    // Changed behind the window's back: a write would show.
    StoreSetting("MoveFolder", "/elsewhere/");
    Select(2);
    FolderDialogSeen seen;
    AnswerFolderDialog(dest.path().string(), &seen);
    m->cmdMove->click();

    EXPECT_EQ(seen.startedAt, dest.path().string());
    EXPECT_TRUE(InDest("Beta.cue"));
    EXPECT_EQ(StoredSetting("MoveFolder"), "/elsewhere/");
}

TEST_F(Move, CancelledChooserChangesNothing)
{
    OpenAndRead();
    const auto before = Snapshot(root.path());
    Select(1);
    AnswerFolderDialog({});
    m->cmdMove->click();

    EXPECT_EQ(m->MoveFolder, "");
    EXPECT_FALSE(uitest::HasSetting("MoveFolder"));
    EXPECT_EQ(Snapshot(root.path()), before);
    EXPECT_EQ(m->grdOut->RowCount(), 3);
}

TEST_F(Move, WithNoRowSelectedSaysSoAndOpensNoChooser)
{
    OpenAndRead();
    for (QAction* entry : {m->menuFileMove, m->menuPopupMove, static_cast<QAction*>(nullptr)}) {
        w->messages.shown.clear();
        FolderDialogSeen seen;
        AnswerFolderDialog({}, &seen);
        if (entry)
            entry->trigger();
        else
            m->cmdMove->click();
        QCoreApplication::processEvents(); // a chooser would have shown by now
        EXPECT_FALSE(seen.shown);
        EXPECT_EQ(w->messages.shown, std::vector<std::string>({"Select the projects to move first."}));
    }
}

using Rename = Commands;

// Cancel on one of several names asks whether to stop: No goes on to the next
// project, Yes stops there.
TEST_F(Rename, CancelAmongSeveralAsksWhetherToStop)
{
    for (const bool stop : {false, true}) {
        SCOPED_TRACE(stop ? "stop" : "go on");
        OpenAndRead();
        Select(1);
        Select(2);
        Select(3);
        w->input.answers = {"", "Final"};
        w->question.answer = stop;
        m->menuHiddenRename->trigger();

        EXPECT_EQ(w->question.asked,
                  std::vector<std::string>({"Stop renaming? 2 more projects are selected.|Rename project"}));
        EXPECT_EQ(w->input.prompts.size(), stop ? 1u : 3u); // the last cancel ends the walk without a question
        EXPECT_EQ(InRoot("Final.cue"), !stop);
        EXPECT_TRUE(InRoot("Alpha.cue"));
        fs::remove(root.path() / "Final.cue");
        WriteProject(root.path(), "Beta", {{"beta.wav", 200000}});
    }
}

// A read-only project is copied by a move: the window says so first.
TEST_F(Commands, MoveSaysFirstThatAReadOnlyProjectIsCopied)
{
    fixtures::MakeReadOnly(root.path() / "Beta.cue");
    OpenAndRead();
    Select(2);
    w->question.answer = false;
    AnswerFolderDialog(dest.path().string());
    m->cmdMove->click();

    EXPECT_EQ(w->question.asked,
              std::vector<std::string>({"Beta is read-only: its files will be copied, and stay in " + root.str()
                                        + ".\r\n\r\nMove the selected projects?|Move"}));
    EXPECT_TRUE(fs::is_empty(dest.path()));
}

TEST_F(Rename, AsksANameForEachSelectedProject)
{
    OpenAndRead();
    Select(2);
    w->input.answers = {"Final"};
    m->menuHiddenRename->trigger();

    EXPECT_EQ(w->input.prompts, std::vector<std::string>({"Enter new name|Rename project|Beta"}));
    EXPECT_EQ(m->grdOut->Text(1, 0), "Final");
    EXPECT_TRUE(m->grdOut->SelectedRows().empty());
    EXPECT_TRUE(InRoot("Final.cue"));
    EXPECT_FALSE(InRoot("Beta.cue"));
    EXPECT_TRUE(InRoot("beta.wav"));
}

TEST_F(Rename, AcceptingTheDefaultOfANameThatIsNotUtf8ChangesNothingAndKeepsItsBytes)
{
    // A project file named as Windows writes "Café Latin", renamed through the window's own input box.
    const std::string latin = "Caf\xE9 Latin";
    WriteProject(root.path(), latin, {{"latin.wav", 100000}});
    MessageBoxes input;
    fixtures::RecordingMessages messages;
    uitest::RecordingQuestion question;
    Main window(messages, question, input, input, root.str());
    window.cmdReadFolder->click();
    ASSERT_EQ(window.grdOut->RowCount(), 4);
    EXPECT_EQ(window.grdOut->Text(2, 0), QString::fromUtf8("Café Latin"));
    const auto before = fixtures::EntryNames(root.path());

    window.grdOut->SetSelected(2, true);
    uitest::WhenShown<QInputDialog>([](QInputDialog& box) {
        EXPECT_EQ(box.textValue(), QString::fromUtf8("Café Latin"));
        box.accept();
    });
    window.menuHiddenRename->trigger();

    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(fixtures::EntryNames(root.path()), before);
    EXPECT_TRUE(InRoot(latin + ".cue"));
    EXPECT_EQ(window.projectList.projects.Item(2)->Name, latin);
}

TEST_F(Rename, WithAnEmptyListAsksNothing)
{
    Open();
    m->menuFileRename->trigger();
    EXPECT_TRUE(w->input.prompts.empty());
    EXPECT_EQ(w->messages.shown, std::vector<std::string>({"Select the project to rename first."}));
}

using Popup = Commands;

TEST_F(Popup, OpensOnARightClickOverAFilledGridOnly)
{
    w = std::make_unique<uitest::Window>(dest.str()); // a folder without projects
    m = &w->main;
    m->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m));
    QWidget* rows = m->grdOut->viewport();

    QTest::mouseClick(rows, Qt::RightButton, {}, QPoint(20, 20));
    EXPECT_FALSE(m->menuPopup->isVisible()) << "an empty list opens nothing";

    m->ReadChosenFolder(root.str());
    QTest::mouseClick(rows, Qt::LeftButton, {}, QPoint(20, 5));
    EXPECT_FALSE(m->menuPopup->isVisible());
    QTest::mouseClick(rows, Qt::RightButton, {}, QPoint(20, 5));
    EXPECT_TRUE(m->menuPopup->isVisible());
    m->menuPopup->hide();

    // Below the rows a right click keeps the selection and opens nothing.
    Select(2);
    QTest::mouseClick(rows, Qt::RightButton, {}, QPoint(20, rows->height() - 5));
    EXPECT_FALSE(m->menuPopup->isVisible());
    EXPECT_EQ(m->grdOut->SelectedRows(), std::vector<int>({0, 1}));
}

using LongOperation = Commands;

// While a command works on its thread, the window paints and the other
// commands are disabled; closing the window stops the command and quits
// without a question.
TEST_F(LongOperation, TheWindowPaintsMeanwhileAndQuitStopsTheCommand)
{
    Open();
    m->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m));
    struct Paints final : QObject {
        int count = 0;
        bool eventFilter(QObject*, QEvent* event) override
        {
            count += event->type() == QEvent::Paint;
            return false;
        }
    } paints;
    m->grdOut->viewport()->installEventFilter(&paints);
    bool elsewhere = false, disabled = false;
    WhenLoopStarts([&] {
        elsewhere = QThread::currentThread() == m->thread(); // this runs on the window's thread, the read not
        m->grdOut->viewport()->repaint();
        disabled = !m->cmdRearrange[1]->isEnabled() && !m->menuFileReadfolder->isEnabled()
                   && m->menuFileClose->isEnabled() && m->progress.cmdCancel->isEnabled();
        m->close();
    });
    m->cmdReadFolder->click();
    EXPECT_TRUE(elsewhere);
    EXPECT_GT(paints.count, 0) << "the grid painted while the read waited";
    EXPECT_TRUE(disabled);
    EXPECT_FALSE(m->isVisible()) << "closed once the read stopped";
    EXPECT_TRUE(w->question.asked.empty());
    EXPECT_TRUE(w->messages.shown.empty());
}

// Esc stops a read wherever the focus is, as Cancel does.
TEST_F(LongOperation, EscCancelsWhereverTheFocusIs)
{
    Open();
    m->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m));
    WhenLoopStarts([this] {
        m->activateWindow();
        m->grdOut->setFocus();
        QTest::keyClick(m->grdOut, Qt::Key_Escape);
    });
    m->cmdReadFolder->click();
    EXPECT_EQ(m->lblProjCount->text(), "Read cancelled after 0 of 3 projects.");
    EXPECT_FALSE(m->progress.isVisible());
}

// A read cancelled before its end: the grid shows the projects read, the
// status line and the error listing say so, and the backup commands refuse.
TEST_F(LongOperation, CancelledReadShowsWhatItReadAndTheBackupCommandsRefuse)
{
    Open();
    WhenLoopStarts([this] { m->progress.cmdCancel->click(); });
    m->cmdReadFolder->click();

    const std::string cancelled = "Read cancelled after 0 of 3 projects.";
    EXPECT_EQ(m->grdOut->RowCount(), 0);
    EXPECT_EQ(m->lblProjCount->text(), Qs(cancelled));
    EXPECT_TRUE(w->messages.shown.empty()) << "a cancel is no error to show at once";
    ASSERT_TRUE(m->cmdErrors->isEnabled());
    m->cmdErrors->click();
    EXPECT_EQ(w->messages.shown, std::vector<std::string>({"Errors for this folder: \r\n\r\n  " + cancelled}));

    const auto before = Snapshot(root.path());
    for (QPushButton* button : m->cmdRearrange) {
        w->messages.shown.clear();
        button->click();
        EXPECT_EQ(w->messages.shown, std::vector<std::string>({"Read the folder to the end first."}));
    }
    EXPECT_TRUE(w->question.asked.empty());
    EXPECT_EQ(Snapshot(root.path()), before);

    // A read to the end shows every project again.
    m->cmdReadFolder->click();
    EXPECT_EQ(m->grdOut->RowCount(), 3);
    EXPECT_EQ(m->lblProjCount->text(), "3 projects");
    EXPECT_FALSE(m->cmdErrors->isEnabled());
}

// Show Errors shows the last read's listing, not what a command found since.
TEST_F(Commands, ShowErrorsShowsTheLastReadsListing)
{
    WriteProject(root.path(), "Broken", {{"gone.wav", 1000}});
    fs::remove(root.path() / "gone.wav");
    Open();
    m->cmdReadFolder->click();
    ASSERT_EQ(w->messages.shown.size(), 1u);
    const std::string listing = w->messages.shown[0];
    ASSERT_NE(listing.find("gone.wav"), std::string::npos);

    m->cmdRearrange[1]->click(); // Report Only refuses: a project was not read whole
    ASSERT_EQ(w->messages.shown.size(), 2u);
    m->cmdErrors->click();
    EXPECT_EQ(w->messages.shown.back(), listing);
}

using Keyboard = Commands;

TEST_F(Keyboard, MenuKeyAndShiftF10OpenTheRowMenuAtTheCurrentRow)
{
    OpenAndRead();
    m->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m));
    m->grdOut->setFocus();
    m->grdOut->setCurrentIndex(m->grdOut->Index(1, 0));
    const QRect row = m->grdOut->visualRect(m->grdOut->Index(1, 0));
    const std::pair<Qt::Key, Qt::KeyboardModifiers> keys[] = {{Qt::Key_Menu, Qt::NoModifier},
                                                              {Qt::Key_F10, Qt::ShiftModifier}};
    for (const auto& [key, modifiers] : keys) {
        QTest::keyClick(m->grdOut, key, modifiers);
        ASSERT_TRUE(m->menuPopup->isVisible()) << key;
        const QRect at(m->grdOut->viewport()->mapToGlobal(row.topLeft()), row.size() + QSize(0, 1));
        EXPECT_TRUE(at.contains(m->menuPopup->pos())) << key;
        m->menuPopup->hide();
    }
}

TEST_F(Keyboard, F10OpensTheFileMenuAndRenameWithNothingSelectedSaysSo)
{
    OpenAndRead();
    m->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m));
    // Alt+F is the menu's mnemonic ("&File"), which the offscreen platform does not bind.
    QTest::keyClick(m->grdOut, Qt::Key_F10);
    EXPECT_TRUE(m->menuFile->isVisible());
    m->menuFile->hide();

    m->menuFileRename->trigger();
    EXPECT_TRUE(w->input.prompts.empty());
    EXPECT_EQ(w->messages.shown, std::vector<std::string>({"Select the project to rename first."}));
}

// A sort stopped after its first project, as a kill would leave it: the
// window's Read folder asks first, and finishing or undoing leaves every
// project whole in one place.
TEST_F(Commands, ReadFolderFinishesOrUndoesAStoppedSortFirst)
{
    const auto before = Snapshot(root.path());
    const auto stopSortAfterOneProject = [this] {
        fixtures::FakeUi ui;
        orvoProjectList list(ui.services());
        (void)ReadFolderCommand(list, root.str(), true, true, DVDMedium());
        ui.progress.cancelAtCall = ui.progress.okCalls + 1;
        struct : Question {
            bool AskYesNo(const std::string&, const std::string&) override { return true; }
        } yes;
        ASSERT_TRUE(SortCommand(list, root.str(), {ui.messages, ui.progress, yes}).Failed());
        ASSERT_TRUE(fs::exists(root.path() / ".kelvark-journal"));
    };
    const struct {
        const char* button;
        int projectsRead; // what the read finds afterwards
    } answers[] = {{"Cancel", 0}, {"Undo", 3}, {"Finish", 0}};
    stopSortAfterOneProject();
    Open();
    for (const auto& answer : answers) {
        SCOPED_TRACE(answer.button);
        const std::string button = answer.button;
        if (button == "Finish")
            stopSortAfterOneProject(); // the undo put the folder back: stop a new sort
        QString asked;
        uitest::WhenShown<QMessageBox>([&](QMessageBox& box) {
            asked = box.text();
            for (QAbstractButton* shown : box.buttons())
                if (shown->text().remove(u'&').toStdString() == button)
                    shown->click();
        });
        m->cmdReadFolder->click();
        EXPECT_EQ(asked, "The backup sort of " + Qs(root.str())
                             + " stopped after 1 of 3 projects.\n\n"
                               "Finish it, or undo it and put every file back where it was?");
        EXPECT_EQ(m->grdOut->RowCount(), answer.projectsRead);
        EXPECT_EQ(fs::exists(root.path() / ".kelvark-journal"), button == "Cancel");
        if (button == "Cancel")
            continue;
        // Every file once, with its content: back in the root folder, or all in the set.
        const auto after = Snapshot(root.path());
        if (button == "Undo") {
            EXPECT_EQ(after, before);
        } else {
            for (const auto& [path, content] : before)
                EXPECT_EQ(after.at("DVD-A/" + path), content) << path;
            // Finishing the sort writes its reports and the disc's label, as the sort would have.
            EXPECT_EQ(after.size(), before.size() + 4);
            EXPECT_TRUE(after.contains("DVD-A/Kelvark Disc.txt"));
            EXPECT_TRUE(after.at("Backup Report.txt").starts_with("ORVEX Project Backup Organizer\r\n\r\nDVD-A"));
        }
    }
}

} // namespace
