#include "MessageBoxes.h"
#include "UiTest.h"

#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <filesystem>

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
    m->cmdRearrange[0]->click();

    ASSERT_EQ(w->question.asked.size(), 1u);
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

TEST_F(Move, MenuItemsRunWhateverTheButtonsState)
{
    Open();
    ASSERT_FALSE(m->cmdMove->isEnabled());
    ChooserSeen seen;
    AnswerChooser(*m->chooseFolder, {}, &seen);
    m->menuFileMove->trigger();
    EXPECT_TRUE(seen.shown);

    seen = {};
    AnswerChooser(*m->chooseFolder, {}, &seen);
    m->menuPopupMove->trigger();
    EXPECT_TRUE(seen.shown);
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

TEST_F(Rename, AcceptingTheDefaultOfANameThatIsNotUtf8IsRefusedAndKeepsItsBytes)
{
    // A project file named as Windows writes "Café Latin", renamed through the window's own input box.
    const std::string latin = "Caf\xE9 Latin";
    WriteProject(root.path(), latin, {{"latin.wav", 100000}});
    MessageBoxes input;
    fixtures::RecordingMessages messages;
    uitest::RecordingQuestion question;
    Main window(messages, question, input, root.str());
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

    EXPECT_EQ(messages.shown, std::vector<std::string>({"Project name " + latin + " already exists.  Can't rename."}));
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
}

using LongOperation = Commands;

TEST_F(LongOperation, BlocksTheWindowsCommandsButNotCancel)
{
    Open();
    // Delivered while the scan lets events run.
    QMetaObject::invokeMethod(m->cmdRearrange[1], "click", Qt::QueuedConnection);
    QMetaObject::invokeMethod(m, "close", Qt::QueuedConnection);
    m->show();
    m->cmdReadFolder->click();

    EXPECT_EQ(m->grdOut->topLevelItemCount(), 3);
    EXPECT_FALSE(InRoot("Backup Report.txt")) << "Report Only ran inside the scan";
    EXPECT_TRUE(w->messages.shown.empty());
    EXPECT_TRUE(m->isVisible()) << "the window closed under the scan";

    QMetaObject::invokeMethod(m->progress.cmdCancel, "click", Qt::QueuedConnection);
    m->cmdReadFolder->click();
    ASSERT_EQ(m->grdOut->topLevelItemCount(), 3);
    EXPECT_EQ(m->grdOut->topLevelItem(0)->text(5), "ERR") << "the scan went on after Cancel";
    EXPECT_FALSE(m->progress.isVisible());
}

} // namespace
