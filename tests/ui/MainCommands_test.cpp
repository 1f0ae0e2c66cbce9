#include "Commands.h"
#include "MessageBoxes.h"
#include "UiTest.h"

#include <QInputDialog>
#include <QMessageBox>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolTip>

#include <filesystem>
#include <utility>

namespace {

namespace fs = std::filesystem;
using fixtures::Snapshot;
using fixtures::TempDir;
using fixtures::WriteProject;
using uitest::AnswerChooser;
using uitest::Qs;
using uitest::ChooserSeen;
using uitest::StoredSetting;
using uitest::StoreSetting;

// A root folder of three regular projects, read by the window.
class Commands : public uitest::UiTest {
protected:
    TempDir root;
    TempDir dest;
    std::unique_ptr<uitest::Window> w;
    Main* m = nullptr;

    void SetUp() override
    {
        UiTest::SetUp();
        WriteProject(root.path(), "Alpha", {{"alpha.wav", 300000}});
        WriteProject(root.path(), "Beta", {{"beta.wav", 200000}});
        WriteProject(root.path(), "Gamma", {{"gamma.wav", 100000}});
    }

    void Open()
    {
        w = std::make_unique<uitest::Window>(root.str());
        m = &w->main;
    }

    void OpenAndRead()
    {
        Open();
        m->cmdReadFolder->click();
        ASSERT_EQ(m->grdOut->topLevelItemCount(), 3);
    }

    void Select(int r) { m->grdOut->topLevelItem(r - 1)->setSelected(true); }

    // The set letter and the BU tooltip of each row.
    std::vector<std::string> Sets() const
    {
        std::vector<std::string> sets;
        for (int r = 0; r < m->grdOut->topLevelItemCount(); ++r)
            sets.push_back(m->grdOut->topLevelItem(r)->text(4).toStdString() + "|"
                           + m->grdOut->ToolTip(r, 4).toStdString());
        return sets;
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
    m->optCD[0]->setChecked(true);
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
    m->optCD[0]->setChecked(true); // after a read planned for DVD
    w->question.answers = {true, false}; // the sort, not the checksums offered after it
    m->cmdRearrange[0]->click();

    ASSERT_EQ(w->question.asked.size(), 2u);
    EXPECT_TRUE(fs::exists(root.path() / "CD-A" / "Alpha.cue"));
    EXPECT_TRUE(fs::exists(root.path() / "CD-A" / "gamma.wav"));
    EXPECT_FALSE(InRoot("Beta.cue"));
    EXPECT_TRUE(InRoot("Backup Report.txt"));
    EXPECT_EQ(w->messages.shown, std::vector<std::string>({"Done.  CSV files are in folder " + root.str() + "."}));
    EXPECT_EQ(m->grdOut->topLevelItemCount(), 3) << "the grid is not refilled";
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
    EXPECT_EQ(w->messages.shown, std::vector<std::string>({"Done.  CSV files are in folder " + root.str() + "."}));
}

TEST_F(BackupSort, BothButtonsRefuseAFolderThatWasNotRead)
{
    fixtures::TempDir other;
    for (const bool readFirst : {false, true}) {
        Open();
        if (readFirst) {
            m->cmdReadFolder->click();
            AnswerChooser(*m->chooseFolder, other.path().string());
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

TEST_F(BackupSort, ProjectsOnNoDiscAreNamedOnceSortRefusesReportsAsk)
{
    WriteProject(root.path(), "Huge", {{"huge.wav", 700000000}});
    Open();
    m->optCD[0]->setChecked(true);
    m->cmdReadFolder->click();
    const auto before = Snapshot(root.path());
    const std::string notice = "This project fits on no CD: Huge.";

    m->cmdRearrange[0]->click();
    EXPECT_EQ(w->messages.shown, std::vector<std::string>({notice}));
    EXPECT_TRUE(w->question.asked.empty()) << "the sort refuses without asking";
    EXPECT_EQ(Snapshot(root.path()), before);

    w->messages.shown.clear();
    w->question.answer = false;
    m->cmdRearrange[1]->click();
    EXPECT_EQ(w->question.asked,
              std::vector<std::string>({notice + "\r\n\r\nWrite the reports without it?|Report Only"}));
    EXPECT_TRUE(w->messages.shown.empty());
    EXPECT_EQ(Snapshot(root.path()), before);

    w->question.answer = true;
    m->cmdRearrange[1]->click();
    EXPECT_EQ(w->messages.shown, std::vector<std::string>({"Done.  CSV files are in folder " + root.str() + "."}));
    EXPECT_EQ(fixtures::ReadFile(root.path() / "Backup Report.txt").find("Huge"), std::string::npos);
}

using Medium = Commands;

TEST_F(Medium, SelectingItPlansTheProjectsReadAgain)
{
    WriteProject(root.path(), "Huge", {{"huge.wav", 700000000}});
    Open();
    m->cmdReadFolder->click();
    const std::vector<std::string> dvd = {"A|", "A|", "A|", "A|"};
    const std::vector<std::string> cd = {"A|", "A|", "A|", "|Larger than one CD (649 MB)"};
    ASSERT_EQ(Sets(), dvd);
    fs::remove(root.path() / "Alpha.cue"); // a read would show it gone

    m->optCD[0]->setChecked(true);
    EXPECT_EQ(Sets(), cd);
    m->optCD[1]->setChecked(true);
    EXPECT_EQ(Sets(), dvd);
    EXPECT_EQ(m->grdOut->topLevelItem(0)->text(0), "Alpha") << "no read";

    // Selected while a read runs: the read's plan follows it.
    QMetaObject::invokeMethod(m, [this] { m->optCD[0]->setChecked(true); }, Qt::QueuedConnection);
    m->cmdReadFolder->click();
    EXPECT_EQ(Sets(), std::vector<std::string>(cd.begin() + 1, cd.end()));
}

using Move = Commands;

TEST_F(Move, MovesTheSelectedProjectsAndRemembersTheFolder)
{
    OpenAndRead();
    Select(1);
    Select(2);
    ChooserSeen seen;
    AnswerChooser(*m->chooseFolder, dest.path().string(), &seen);
    m->cmdMove->click();

    EXPECT_EQ(seen.startedAt, "/") << "the stored move folder, by default the root";
    for (const char* name : {"Alpha.cue", "alpha.wav", "Beta.cue", "beta.wav"}) {
        EXPECT_TRUE(InDest(name)) << name;
        EXPECT_FALSE(InRoot(name)) << name;
    }
    EXPECT_TRUE(InRoot("Gamma.cue"));
    ASSERT_EQ(m->grdOut->topLevelItemCount(), 1);
    EXPECT_EQ(m->grdOut->topLevelItem(0)->text(0), "Gamma");
    EXPECT_EQ(m->lblProjCount->text(), "1 project");
    EXPECT_EQ(m->MoveFolder, dest.str());
    EXPECT_EQ(StoredSetting("MoveFolder"), Qs(dest.str()));
    EXPECT_FALSE(m->cmdErrors->isEnabled());
    EXPECT_TRUE(w->messages.shown.empty());
}

TEST_F(Move, FailingTestShowsTheConflictsAndMovesNothing)
{
    OpenAndRead();
    fixtures::WriteFile(dest.path() / "alpha.wav", "already here");
    const auto before = Snapshot(root.path());
    Select(1);
    Select(3);
    AnswerChooser(*m->chooseFolder, dest.path().string());
    m->cmdMove->click();

    EXPECT_EQ(w->messages.shown,
              std::vector<std::string>({"Already in destination directory:\r\n\r\nProject: Alpha\r\n     alpha.wav"}));
    EXPECT_TRUE(m->cmdErrors->isEnabled());
    EXPECT_EQ(Snapshot(root.path()), before);
    EXPECT_FALSE(InDest("Gamma.cue"));
    EXPECT_EQ(m->grdOut->topLevelItemCount(), 3);
    EXPECT_EQ(m->MoveFolder, dest.str()) << "the new folder is kept even when the test fails";
    EXPECT_EQ(StoredSetting("MoveFolder"), Qs(dest.str()));
}

TEST_F(Move, AMoveStoppedByAnErrorHidesTheProgressDialog)
{
    OpenAndRead();
    m->show();
    for (int r = 1; r <= 3; ++r)
        Select(r);
    // Once the move has begun, a file of the second project appears in the
    // destination: the move stops there, before it announced its last project.
    bool appeared = false;
    QObject::connect(m->progress.ProgressBar1, &QProgressBar::valueChanged, [&] {
        if (!std::exchange(appeared, true))
            fixtures::WriteFile(dest.path() / "beta.wav", "someone else's take");
    });
    AnswerChooser(*m->chooseFolder, dest.path().string());
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
    ChooserSeen seen;
    AnswerChooser(*m->chooseFolder, dest.path().string(), &seen);
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
    AnswerChooser(*m->chooseFolder, {});
    m->cmdMove->click();

    EXPECT_EQ(m->MoveFolder, "/");
    EXPECT_FALSE(uitest::HasSetting("MoveFolder"));
    EXPECT_EQ(Snapshot(root.path()), before);
    EXPECT_EQ(m->grdOut->topLevelItemCount(), 3);
}

TEST_F(Move, WithNoRowSelectedSaysSoAndOpensNoChooser)
{
    OpenAndRead();
    for (QAction* entry : {m->menuFileMove, m->menuPopupMove, static_cast<QAction*>(nullptr)}) {
        w->messages.shown.clear();
        ChooserSeen seen;
        AnswerChooser(*m->chooseFolder, {}, &seen);
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

TEST_F(Rename, AsksANameForEachSelectedProject)
{
    OpenAndRead();
    Select(2);
    w->input.answers = {"Final"};
    m->menuHiddenRename->trigger();

    EXPECT_EQ(w->input.prompts, std::vector<std::string>({"Enter new name|Rename project|Beta"}));
    EXPECT_EQ(m->grdOut->topLevelItem(1)->text(0), "Final");
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
    ASSERT_EQ(window.grdOut->topLevelItemCount(), 4);
    QTreeWidgetItem* row = window.grdOut->topLevelItem(2);
    EXPECT_EQ(row->text(0), QString::fromUtf8("Café Latin"));
    EXPECT_EQ(row->data(0, Qt::UserRole).toByteArray().toStdString(), latin);
    const auto before = fixtures::EntryNames(root.path());

    row->setSelected(true);
    uitest::WhenShown<QInputDialog>([](QInputDialog& box) {
        EXPECT_EQ(box.textValue(), QString::fromUtf8("Café Latin"));
        box.accept();
    });
    window.menuHiddenRename->trigger();

    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(fixtures::EntryNames(root.path()), before);
    EXPECT_TRUE(InRoot(latin + ".cue"));
    EXPECT_EQ(row->data(0, Qt::UserRole).toByteArray().toStdString(), latin);
}

TEST_F(Rename, WithAnEmptyListAsksNothing)
{
    Open();
    m->menuFileRename->trigger();
    EXPECT_TRUE(w->input.prompts.empty());
}

using Popup = Commands;

TEST_F(Popup, OpensOnARightClickOverAFilledGridOnly)
{
    Open();
    m->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m));
    QWidget* rows = m->grdOut->viewport();

    QTest::mouseClick(rows, Qt::RightButton, {}, QPoint(20, 20));
    EXPECT_FALSE(m->menuPopup->isVisible()) << "an empty list opens nothing";

    m->cmdReadFolder->click();
    QTest::mouseClick(rows, Qt::LeftButton, {}, QPoint(20, 5));
    EXPECT_FALSE(m->menuPopup->isVisible());
    QTest::mouseClick(rows, Qt::RightButton, {}, QPoint(20, 5));
    EXPECT_TRUE(m->menuPopup->isVisible());
    m->menuPopup->hide();

    // Below the rows a right click keeps the selection and opens nothing.
    Select(2);
    QTest::mouseClick(rows, Qt::RightButton, {}, QPoint(20, rows->height() - 5));
    EXPECT_FALSE(m->menuPopup->isVisible());
    EXPECT_EQ(m->grdOut->selectedItems(), QList<QTreeWidgetItem*>({m->grdOut->topLevelItem(0), m->grdOut->topLevelItem(1)}));
}

using LongOperation = Commands;

TEST_F(LongOperation, RefusesTheWindowsCommandsAndSaysSoButNotCancel)
{
    Open();
    Qt::CursorShape cursor = Qt::ArrowCursor;
    QString said;
    // Delivered while the scan lets events run.
    QMetaObject::invokeMethod(m->cmdRearrange[1], "click", Qt::QueuedConnection);
    QMetaObject::invokeMethod(m, "close", Qt::QueuedConnection);
    QMetaObject::invokeMethod(
        m,
        [&] {
            cursor = m->cursor().shape();
            said = QToolTip::text();
        },
        Qt::QueuedConnection);
    m->show();
    m->cmdReadFolder->click();

    EXPECT_EQ(m->grdOut->topLevelItemCount(), 3);
    EXPECT_FALSE(InRoot("Backup Report.txt")) << "Report Only ran inside the scan";
    EXPECT_TRUE(w->messages.shown.empty());
    EXPECT_TRUE(m->isVisible()) << "the window closed under the scan";
    EXPECT_EQ(said, "Busy: wait until the running command ends.");
    EXPECT_EQ(cursor, Qt::BusyCursor);
    EXPECT_EQ(m->cursor().shape(), Qt::ArrowCursor) << "the cursor is back when the scan ends";

    QMetaObject::invokeMethod(m->progress.cmdCancel, "click", Qt::QueuedConnection);
    m->cmdReadFolder->click();
    ASSERT_EQ(m->grdOut->topLevelItemCount(), 3);
    EXPECT_EQ(m->grdOut->topLevelItem(0)->text(5), "ERR") << "the scan went on after Cancel";
    EXPECT_FALSE(m->progress.isVisible());
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
        fixtures::FakeGrid grid;
        ReadFolderCommand(list, root.str(), true, true, false, grid);
        ui.progress.cancelAtCall = ui.progress.okCalls + 1;
        ASSERT_TRUE(BackupCommand(list, root.str(), false, true, ui.messages));
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
                if (shown->text().toStdString() == button)
                    shown->click();
        });
        m->cmdReadFolder->click();
        EXPECT_EQ(asked, "The backup sort of " + Qs(root.str()) + " stopped after 1 of 3 projects.\n\n"
                         "Finish it, or undo it and put every file back where it was?");
        EXPECT_EQ(m->grdOut->topLevelItemCount(), answer.projectsRead);
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
            // Finishing the sort writes its reports, as the sort would have.
            EXPECT_EQ(after.size(), before.size() + 3);
            EXPECT_TRUE(after.at("Backup Report.txt").starts_with("ORVEX Project Backup Organizer\r\n\r\nDVD-A"));
        }
    }
}

} // namespace
