#include "UiTest.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

using namespace kelvark;

namespace {

using uitest::UiTest;

class ProgressDialog : public UiTest {
protected:
    QWidget owner;
    frmProgress progress{&owner};
};

TEST_F(ProgressDialog, SaysWhatRunsHowFarAndTheItem)
{
    EXPECT_FALSE(progress.OK(0, "x")) << "before the first Startup nothing runs";
    progress.Begin("Sorting", "projects");
    progress.Startup(2000);
    EXPECT_TRUE(progress.isVisible());
    EXPECT_TRUE(progress.OK(601, "Song A"));
    EXPECT_EQ(progress.lblDoing->text(), "Sorting: 602 of 2,000 projects");
    EXPECT_EQ(progress.Label1->text(), "Song A");
    EXPECT_EQ(progress.ProgressBar1->value(), 602);
    EXPECT_TRUE(progress.OK(1999, "Song Z"));
    EXPECT_FALSE(progress.isVisible()) << "the last item hides it";

    // A loop whose texts say how far it came: the verb, then the text.
    progress.Begin("Writing checksums", {});
    progress.Startup(10);
    progress.OK(0, "1.2 of 5.0 GB: a.wav");
    EXPECT_EQ(progress.lblDoing->text(), "Writing checksums");
    EXPECT_EQ(progress.Label1->text(), "1.2 of 5.0 GB: a.wav");
}

TEST_F(ProgressDialog, TimeLeftOnceThePaceIsKnown)
{
    using std::chrono::seconds;
    const struct {
        int done, toDo;
        seconds elapsed;
        const char* left;
    } cases[] = {
        {0, 100, seconds(30), ""}, // nothing done yet
        {50, 100, seconds(1), ""}, // too soon to tell
        {50, 100, seconds(30), "less than a minute left"},
        {601, 2000, seconds(30), "about 1 min left"},
        {10, 100, seconds(60), "about 9 min left"},
        {1, 100, seconds(60), "about 1 h 39 min left"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(frmProgress::TimeLeft(c.done, c.toDo, c.elapsed), c.left) << c.done << " of " << c.toDo;
}

// A stop asked for while a command runs stops every loop of that command,
// even one that had not started yet; the next command starts afresh.
TEST_F(ProgressDialog, CancelStopsTheCommandsLoopsUntilTheNextBegins)
{
    progress.Begin("Reading", "projects");
    progress.Startup(3);
    EXPECT_TRUE(progress.OK(0, "Song A"));
    progress.cmdCancel->click();
    EXPECT_FALSE(progress.isVisible());
    EXPECT_FALSE(progress.OK(1, "Song B"));
    EXPECT_EQ(progress.Stopped(), 1) << "the first item it said stop for";
    progress.Startup(3);
    EXPECT_FALSE(progress.OK(0, "Song C")) << "a later loop of the same command";

    progress.Begin("Reading", "projects");
    progress.reject(); // Esc, before the loop starts
    progress.Startup(3);
    EXPECT_FALSE(progress.OK(0, "Song A"));

    progress.Begin("Reading", "projects");
    progress.Startup(0);
    EXPECT_FALSE(progress.isVisible());
    EXPECT_FALSE(progress.OK(0, "x")) << "nothing to do";
    progress.Startup(2);
    EXPECT_TRUE(progress.OK(0, "Song A"));
    EXPECT_EQ(progress.Stopped(), -1);
}

TEST_F(ProgressDialog, StaysAboveItsOwnerAndTakesTheKeyboardSoEscCancels)
{
    EXPECT_EQ(progress.parentWidget(), &owner);
    EXPECT_TRUE(progress.windowFlags() & Qt::Tool);
    owner.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&owner));

    progress.Startup(3);
    // A tool window counts as active along with its owner: ask for the focus.
    ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::focusWidget() != nullptr; }));
    EXPECT_EQ(QApplication::focusWidget()->window(), &progress);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(progress.isVisible());
    EXPECT_FALSE(progress.OK(0, "Song A"));
}

} // namespace
