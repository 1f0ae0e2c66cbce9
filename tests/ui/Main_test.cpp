#include "UiTest.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QDropEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSettings>
#include <QTest>
#include <QUrl>

#include <filesystem>

using namespace kelvark;

namespace {

using fixtures::WriteProject;
using uitest::AnswerFolderDialog;
using uitest::FolderDialogSeen;
using uitest::Qs;
using uitest::StoredSetting;
using uitest::StoreSetting;
using uitest::UiTest;
using uitest::Window;

std::vector<std::string> Row(const ProjectGrid& grid, int r)
{
    std::vector<std::string> texts;
    for (int c = 0; c < ProjectModel::Columns; ++c)
        texts.push_back(grid.Text(r - 1, c).toStdString());
    return texts;
}

using StartUp = UiTest;

TEST_F(StartUp, WithNoSettingsOffersTheHomeFolderAndPresetsTheWindow)
{
    Window w;
    Main& m = w.main;
    const std::string home = QDir::homePath().toStdString() + "/"; // the tests' home holds no Music folder
    EXPECT_EQ(m.RootFolder, home);
    EXPECT_EQ(m.MoveFolder, "");
    EXPECT_EQ(m.txtFolder->text(), Qs(home));
    EXPECT_EQ(m.windowTitle(), QDir::homePath() + " – DVD – Kelvark");
    EXPECT_TRUE(m.chkRegular->isChecked());
    EXPECT_FALSE(m.chkMix->isChecked());
    EXPECT_FALSE(m.optCD->isChecked());
    EXPECT_TRUE(m.optDVD->isChecked());
    EXPECT_EQ(m.lblProjCount->text(), "0 projects");
    EXPECT_FALSE(m.cmdMove->isEnabled());
    EXPECT_FALSE(m.cmdErrors->isEnabled());
    EXPECT_EQ(m.grdOut->RowCount(), 0);
    EXPECT_FALSE(m.progress.isVisible());
    EXPECT_EQ(m.progress.parentWidget(), &m);
    EXPECT_FALSE(uitest::HasSetting("ReadFolder")) << "start-up writes no setting";
    EXPECT_TRUE(w.messages.shown.empty());
}

TEST_F(StartUp, TabOrderFollowsTheLayout)
{
    Window w;
    Main& m = w.main;
    const QList<QWidget*> expected = {m.txtFolder,       m.cmdChooseFolder, m.chkRegular, m.chkMix,        m.optCD,
                                      m.optDVD,          m.optOther,        m.cboMedium,  m.cmdReadFolder, m.grdOut,
                                      m.cmdRearrange[0], m.cmdRearrange[1], m.cmdMove,    m.cmdErrors,     m.cmdQuit};
    EXPECT_EQ(uitest::TabChain(expected), expected);
}

TEST_F(StartUp, ReadsTheStoredFolders)
{
    StoreSetting("ReadFolder", "/data/Mix Songs/");
    StoreSetting("MoveFolder", "/backup/");
    Window w;
    EXPECT_EQ(w.main.RootFolder, "/data/Mix Songs/");
    EXPECT_EQ(w.main.MoveFolder, "/backup/");
    EXPECT_EQ(w.main.txtFolder->text(), "/data/Mix Songs/");
}

TEST_F(StartUp, FolderArgumentReplacesTheStoredFolderForThisRun)
{
    StoreSetting("ReadFolder", "/data/Projects/");
    Window w("/studio/Mixes/");
    EXPECT_EQ(w.main.RootFolder, "/studio/Mixes/");
    EXPECT_EQ(w.main.txtFolder->text(), "/studio/Mixes/");
    EXPECT_TRUE(w.main.chkMix->isChecked());
    EXPECT_FALSE(w.main.chkRegular->isChecked());
    EXPECT_EQ(StoredSetting("ReadFolder"), "/data/Projects/");
}

using LiveView = UiTest;

// A folder named at start, typed into the field with Enter, or dropped on the
// window is read at once; the typed and the dropped one are stored.
TEST_F(LiveView, ANamedTypedOrDroppedFolderIsReadAtOnce)
{
    fixtures::TempDir root;
    WriteProject(root.path(), "Alpha", {{"alpha.wav", 2000000}});
    const std::function<void(Main&)> ways[] = {
        [](Main&) {},
        [&root](Main& m) {
            m.txtFolder->setText(Qs(root.str()));
            QTest::keyClick(m.txtFolder, Qt::Key_Return);
        },
        [&root](Main& m) {
            QMimeData data;
            data.setUrls({QUrl::fromLocalFile(Qs(root.str()))});
            QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
            QApplication::sendEvent(&m, &enter);
            ASSERT_TRUE(enter.isAccepted());
            QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
            QApplication::sendEvent(&m, &drop);
        },
    };
    for (int i = 0; i < 3; ++i) {
        Window w(i == 0 ? root.str() : std::string());
        ways[i](w.main);
        ASSERT_TRUE(QTest::qWaitFor([&] { return w.main.grdOut->RowCount() == 1; })) << i;
        EXPECT_EQ(w.main.RootFolder, root.str()) << i;
        EXPECT_EQ(uitest::HasSetting("ReadFolder"), i > 0) << i;
    }
}

// The grid shows the folder as it is: a change of the ticks reads it again,
// and a folder chosen but not read leaves the grid empty, saying why.
TEST_F(LiveView, TicksReadAgainAndAChosenFolderEmptiesTheGrid)
{
    fixtures::TempDir root;
    WriteProject(root.path(), "Alpha", {{"alpha.wav", 2000000}});
    WriteProject(root.path(), "Alpha Mix", {{"mix.wav", 500000}});
    Window w(root.str());
    Main& m = w.main;
    ASSERT_TRUE(QTest::qWaitFor([&] { return m.grdOut->RowCount() == 1; }));
    m.chkMix->setChecked(true);
    EXPECT_EQ(m.grdOut->RowCount(), 2);
    EXPECT_EQ(m.lblProjCount->text(), "2 projects");

    AnswerFolderDialog("/");
    m.cmdChooseFolder->click();
    EXPECT_EQ(m.grdOut->RowCount(), 0);
    EXPECT_EQ(m.lblProjCount->text(), "Not read yet: Read folder (F5) reads /.");
    m.cmdRearrange[1]->click();
    EXPECT_EQ(w.messages.shown.back(), "Read the folder first: the grid does not show the projects of /.");
}

// In the folder field Ctrl+X cuts; elsewhere it closes the window, as Ctrl+Q does.
TEST_F(LiveView, CtrlXCutsInTheFolderField)
{
    Window w;
    Main& m = w.main;
    m.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&m));
    m.txtFolder->setFocus();
    m.txtFolder->selectAll();
    const QString folder = m.txtFolder->text();
    QTest::keyClick(m.txtFolder, Qt::Key_X, Qt::ControlModifier);
    EXPECT_TRUE(m.isVisible());
    EXPECT_EQ(m.txtFolder->text(), "");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), folder);
    QTest::keyClick(m.cmdQuit, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(m.isVisible());
}

using IncludeChecks = UiTest;

TEST_F(IncludeChecks, FolderNamePresetsTheBoxes)
{
    struct Case {
        const char* folder;
        bool mix;
        bool regular;
    };
    const Case cases[] = {
        {"/studio/mixes/", true, false}, {"/studio/MIX/", true, false},       {"/studio/My Projects/", false, true},
        {"/studio/proj/", false, true},  {"/studio/Proj Mix/", false, false}, {"/studio/", false, true},
    };
    for (const Case& c : cases) {
        Window w(c.folder);
        EXPECT_EQ(w.main.chkMix->isChecked(), c.mix) << c.folder;
        EXPECT_EQ(w.main.chkRegular->isChecked(), c.regular) << c.folder;
    }
}

TEST_F(IncludeChecks, ChooseKeepsBoxesSetByHandWhenTheNameSaysNothing)
{
    fixtures::TempDir root;
    QDir(Qs(root.str())).mkpath("Mixdowns");
    QDir(Qs(root.str())).mkpath("Plain");
    Window w(root.str() + "Mixdowns/");
    Main& m = w.main;
    ASSERT_TRUE(m.chkMix->isChecked());
    m.chkRegular->setChecked(true);

    // Both boxes are now checked; a folder with neither word leaves them so.
    AnswerFolderDialog(root.str() + "Plain");
    m.cmdChooseFolder->click();
    EXPECT_EQ(m.RootFolder, root.str() + "Plain/");
    EXPECT_TRUE(m.chkMix->isChecked());
    EXPECT_TRUE(m.chkRegular->isChecked());
}

TEST_F(IncludeChecks, CancelledDialogChangesNothing)
{
    fixtures::TempDir root;
    QDir(Qs(root.str())).mkpath("Mix");
    Window w(root.str() + "Mix/");
    Main& m = w.main;
    m.chkRegular->setChecked(true);

    FolderDialogSeen seen;
    AnswerFolderDialog({}, &seen);
    m.cmdChooseFolder->click();
    EXPECT_TRUE(seen.shown);
    EXPECT_EQ(seen.startedAt, root.str() + "Mix");
    EXPECT_EQ(seen.title, "Choose the folder to read");
    EXPECT_EQ(m.RootFolder, root.str() + "Mix/");
    EXPECT_FALSE(uitest::HasSetting("ReadFolder"));
    EXPECT_TRUE(m.chkMix->isChecked());
    EXPECT_TRUE(m.chkRegular->isChecked());
}

using FolderDialog = UiTest;

// OK takes the folder highlighted in the list, or the path typed into the field.
TEST_F(FolderDialog, GivesTheHighlightedOrTypedFolder)
{
    fixtures::TempDir root;
    QDir(Qs(root.str())).mkpath("sample");
    QDir(Qs(root.str())).mkpath("typed/deeper");
    const std::function<void(QFileDialog&)> answers[] = {
        [](QFileDialog& dialog) {
            dialog.selectFile("sample");
            dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open)->click();
        },
        [&root](QFileDialog& dialog) {
            auto* field = dialog.findChild<QLineEdit*>("fileNameEdit");
            field->setText(Qs(root.str() + "typed/deeper")); // pasted
            QTest::keyClick(field, Qt::Key_Return);
        },
    };
    const std::string expected[] = {root.str() + "sample/", root.str() + "typed/deeper/"};
    for (int i = 0; i < 2; ++i) {
        Window w(root.str());
        uitest::WhenShown<QFileDialog>([&](QFileDialog& dialog) {
            EXPECT_EQ(dialog.directory().absolutePath() + "/", Qs(root.str()));
            EXPECT_EQ(dialog.windowTitle(), "Choose the folder to read");
            answers[i](dialog);
        });
        w.main.cmdChooseFolder->click();
        EXPECT_EQ(w.main.RootFolder, expected[i]) << i;
        EXPECT_EQ(StoredSetting("ReadFolder"), Qs(expected[i]));
    }
}

using ChooseAndRead = UiTest;

TEST_F(ChooseAndRead, ChosenFolderIsShownAndStoredWithItsSeparator)
{
    fixtures::TempDir root;
    Window w;
    AnswerFolderDialog(root.path().string());
    w.main.menuFileChoose->trigger();
    EXPECT_EQ(w.main.RootFolder, root.str());
    EXPECT_EQ(w.main.txtFolder->text(), Qs(root.str()));
    EXPECT_EQ(StoredSetting("ReadFolder"), Qs(root.str()));
    EXPECT_EQ(w.main.projectList.projects.Count(), 0) << "choosing does not read";

    AnswerFolderDialog("/");
    w.main.cmdChooseFolder->click();
    EXPECT_EQ(w.main.RootFolder, "/");
    EXPECT_EQ(StoredSetting("ReadFolder"), "/");
}

TEST_F(ChooseAndRead, FolderNamedInTheWindowsCodePageIsReadShownAndKeptAsItsBytes)
{
    fixtures::TempDir temp;
    const std::string folder = temp.str() + "Caf\xE9 Songs";
    std::filesystem::create_directory(folder);
    WriteProject(folder, "Caf\xE9 Latin", {{"Caf\xE9 01.wav", 500000}});
    {
        // Named on the command line: the desktop's dialog gives names as text.
        Window w(folder + "/");
        w.main.menuFileReadfolder->trigger();
        EXPECT_EQ(w.main.RootFolder, folder + "/");
        EXPECT_EQ(w.main.txtFolder->text(), Qs(temp.str()) + QString::fromUtf8("Café Songs/"));
        ASSERT_EQ(w.main.grdOut->RowCount(), 1);
        EXPECT_EQ(Row(*w.main.grdOut, 1), std::vector<std::string>({"Café Latin", ".5", "1", "1", "A", "100%"}));
        EXPECT_TRUE(w.messages.shown.empty());
    }
    // A folder stored as its bytes comes back with them.
    QSettings(QStringLiteral("Kelvark"), QStringLiteral("Kelvark"))
        .setValue("Prefs/ReadFolder", QByteArray::fromStdString(folder + "/"));
    Window again;
    EXPECT_EQ(again.main.RootFolder, folder + "/");
}

TEST_F(ChooseAndRead, ReadFillsTheGridAndTheCount)
{
    fixtures::TempDir root;
    WriteProject(root.path(), "Alpha", {{"alpha1.wav", 2000000}, {"alpha2.wav", 1000000}});
    WriteProject(root.path(), "Beta", {{"beta.wav", 500000}});
    WriteProject(root.path(), "Beta Mix", {{"mix.wav", 500000}});
    Window w(root.str());
    Main& m = w.main;

    m.cmdReadFolder->click();
    ASSERT_EQ(m.grdOut->RowCount(), 2) << "the folder's name includes regular projects only";
    EXPECT_EQ(Row(*m.grdOut, 1), std::vector<std::string>({"Alpha", "3.0", "1", "2", "A", "100%"}));
    EXPECT_EQ(Row(*m.grdOut, 2), std::vector<std::string>({"Beta", ".5", "1", "1", "A", "100%"}));
    EXPECT_EQ(m.lblProjCount->text(), "2 projects, 1 left out by the include ticks");
    EXPECT_TRUE(m.cmdMove->isEnabled());
    EXPECT_FALSE(m.cmdErrors->isEnabled());
    EXPECT_TRUE(w.messages.shown.empty());
    EXPECT_FALSE(m.progress.isVisible());

    m.chkRegular->setChecked(false);
    m.chkMix->setChecked(true);
    m.menuFileReadfolder->trigger();
    ASSERT_EQ(m.grdOut->RowCount(), 1);
    EXPECT_EQ(m.grdOut->Text(0, 0), "Beta Mix");
    EXPECT_EQ(m.lblProjCount->text(), "1 project, 2 left out by the include ticks");

    m.chkRegular->setChecked(true);
    m.menuFileReadfolder->trigger();
    EXPECT_EQ(m.lblProjCount->text(), "3 projects");
}

TEST_F(ChooseAndRead, SizesUseTheLocalesDecimalSeparator)
{
    fixtures::TempDir root;
    WriteProject(root.path(), "Alpha", {{"alpha.wav", 1500000}});
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    Window w(root.str());
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    w.main.cmdReadFolder->click();
    ASSERT_EQ(w.main.grdOut->RowCount(), 1);
    EXPECT_EQ(w.main.grdOut->Text(0, 1), "1,5");
}

TEST_F(ChooseAndRead, RegionalSeparatorsComeFromTheLocale)
{
    const Regional us = RegionalFromLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(us.decimalSeparator, ".");
    EXPECT_EQ(us.dateSeparator, "/");
    const Regional de = RegionalFromLocale(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(de.decimalSeparator, ",");
    EXPECT_EQ(de.dateSeparator, ".");
    const Regional se = RegionalFromLocale(QLocale(QLocale::Swedish, QLocale::Sweden));
    EXPECT_EQ(se.dateSeparator, "-");
}

TEST_F(ChooseAndRead, ErrorsEnableShowErrorsAndAreShownAtOnce)
{
    fixtures::TempDir root;
    WriteProject(root.path(), "Alpha", {{"alpha.wav", 1000}});
    WriteProject(root.path(), "Broken", {{"gone.wav", 1000}});
    std::filesystem::remove(root.path() / "gone.wav");
    Window w(root.str());
    Main& m = w.main;

    m.cmdReadFolder->click();
    EXPECT_EQ(m.grdOut->RowCount(), 2);
    EXPECT_TRUE(m.cmdErrors->isEnabled());
    ASSERT_EQ(w.messages.shown.size(), 1u);
    EXPECT_EQ(w.messages.shown[0], m.projectList.LastError);
    EXPECT_EQ(w.messages.shown[0].rfind("Errors for this folder: \r\n\r\n  ", 0), 0u) << w.messages.shown[0];
    EXPECT_NE(w.messages.shown[0].find("gone.wav"), std::string::npos);

    m.cmdErrors->click();
    ASSERT_EQ(w.messages.shown.size(), 2u);
    EXPECT_EQ(w.messages.shown[1], w.messages.shown[0]);

    fixtures::WriteFile(root.path() / "gone.wav", fixtures::WaveHeader(1000));
    m.cmdReadFolder->click();
    EXPECT_FALSE(m.cmdErrors->isEnabled());
    EXPECT_EQ(w.messages.shown.size(), 2u);
}

TEST_F(ChooseAndRead, NoticesCanBeSilencedForTheRestOfTheRead)
{
    fixtures::TempDir root;
    // Three waves without a bext chunk: the walk meets each one's data chunk.
    const std::string wave = fixtures::ChunkHeader("RIFF", 4 + 24 + 8 + 100) + "WAVE" + fixtures::FmtChunk(48000, 16)
                             + fixtures::ChunkHeader("data", 100) + std::string(100, '\0');
    fixtures::WriteFile(root.path() / "Alpha.cue",
                        fixtures::CueText({{{"a1.wav", 0, 10}}, {{"a2.wav", 0, 10}}, {{"a3.wav", 0, 10}}}));
    for (const char* name : {"a1.wav", "a2.wav", "a3.wav"})
        fixtures::WriteFile(root.path() / name, wave);
    Window w(root.str());
    Main& m = w.main;

    struct Case {
        bool noMore;
        std::size_t boxes;
        std::string errors;
    };
    // The second read shows its notices again.
    const Case cases[] = {{true, 1,
                           "Errors for this folder: \r\n\r\n  2 more notices were not shown: "
                           "No broadcast-wave (bext) chunk in files a2.wav, a3.wav."},
                          {false, 3, ""}};
    for (const Case& c : cases) {
        w.notices = {};
        w.notices.noMore = c.noMore;
        w.messages.shown.clear();
        m.cmdReadFolder->click();
        ASSERT_EQ(w.notices.shown.size(), c.boxes) << c.noMore;
        EXPECT_EQ(w.notices.shown[0], "a1.wav has no broadcast-wave (bext) chunk");
        EXPECT_EQ(m.projectList.LastError, c.errors);
        EXPECT_EQ(m.cmdErrors->isEnabled(), c.noMore);
        EXPECT_EQ(w.messages.shown, c.noMore ? std::vector<std::string>{c.errors} : std::vector<std::string>{});
    }
}

TEST_F(ChooseAndRead, ReadShowsTheFirstRows)
{
    fixtures::TempDir root;
    for (int i = 10; i < 50; ++i)
        WriteProject(root.path(), "Song " + std::to_string(i), {{"song" + std::to_string(i) + ".wav"}});
    Window w(root.str());
    ProjectGrid& grid = *w.main.grdOut;
    w.main.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w.main));
    w.main.cmdReadFolder->click();
    grid.scrollToBottom();
    ASSERT_GT(grid.verticalScrollBar()->value(), 0);

    w.main.cmdReadFolder->click();
    EXPECT_EQ(grid.verticalScrollBar()->value(), 0);
}

TEST_F(ChooseAndRead, ChooseAndReadReadsNothingWhenCancelled)
{
    fixtures::TempDir root;
    WriteProject(root.path(), "Alpha", {{"alpha.wav", 1000}});
    Window w(root.str());
    AnswerFolderDialog({});
    w.main.menuFileChooseread->trigger();
    EXPECT_EQ(w.main.grdOut->RowCount(), 0);
    EXPECT_EQ(w.main.RootFolder, root.str());
}

using Window_ = UiTest;

TEST_F(Window_, AboutShowsTheVersion)
{
    Window w;
    w.main.menuAbout->trigger();
    ASSERT_EQ(w.messages.shown.size(), 1u);
    const std::string& text = w.messages.shown[0];
    EXPECT_EQ(text.rfind("Kelvark - Version 1.0.10\r\n\r\n", 0), 0u) << text;
    EXPECT_GT(text.size(), std::string("Kelvark - Version 1.0.10\r\n\r\n").size());
}

TEST_F(Window_, ExitClosesTheWindow)
{
    Window w;
    w.main.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w.main));
    w.main.progress.Startup(2); // left shown by a run that stopped early
    w.main.cmdQuit->click();
    EXPECT_FALSE(w.main.isVisible());
    EXPECT_FALSE(w.main.progress.isVisible());
    EXPECT_TRUE(w.messages.shown.empty()) << "no confirmation";
    EXPECT_TRUE(w.question.asked.empty()) << "no question while no command runs";
}

} // namespace
