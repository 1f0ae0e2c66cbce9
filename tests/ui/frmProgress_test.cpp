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

    // Presses the button while the next OK lets events run.
    void PressDuringNextOK(QObject* target, const char* method)
    {
        QMetaObject::invokeMethod(target, method, Qt::QueuedConnection);
    }
};

TEST_F(ProgressDialog, HasItsControlsAndStartsHidden)
{
    EXPECT_EQ(progress.windowTitle(), "Progress");
    EXPECT_EQ(progress.size(), QSize(312, 62));
    EXPECT_EQ(progress.cmdCancel->text(), "Cancel");
    EXPECT_EQ(progress.Label1->text(), "");
    EXPECT_FALSE(progress.isVisible());
    EXPECT_FALSE(progress.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    // Before the first Startup nothing runs, so OK says stop.
    EXPECT_FALSE(progress.OK(0, "x"));
}

// The first item and the last show; between them the dialog shows an item
// once 50 ms have passed since it last showed one.
TEST_F(ProgressDialog, ShowsTheFirstAndLastItemsAndBetweenThemAtMostEvery50ms)
{
    progress.Startup(4);
    EXPECT_TRUE(progress.isVisible());
    EXPECT_EQ(progress.ProgressBar1->minimum(), 0);
    EXPECT_EQ(progress.ProgressBar1->maximum(), 4);

    struct Step {
        int wait; // ms before the call
        const char* name;
        int value;
        const char* shown;
    };
    const Step steps[] = {{0, "Song A", 1, "Song A"},
                          {0, "Song B", 1, "Song A"},
                          {60, "Song C", 3, "Song C"},
                          {0, "Song D", 4, "Song D"}};
    for (int k = 0; k < 4; ++k) {
        QTest::qWait(steps[k].wait);
        EXPECT_TRUE(progress.OK(k, steps[k].name));
        EXPECT_EQ(progress.ProgressBar1->value(), steps[k].value) << k;
        EXPECT_EQ(progress.Label1->text(), steps[k].shown) << k;
        EXPECT_EQ(progress.isVisible(), k < 3) << "after item " << k;
    }
}

TEST_F(ProgressDialog, EmptyTextKeepsTheLine)
{
    progress.Startup(3);
    progress.OK(0, "Song A");
    QTest::qWait(60);
    progress.OK(1, "");
    EXPECT_EQ(progress.Label1->text(), "Song A");
    EXPECT_EQ(progress.ProgressBar1->value(), 2);
}

TEST_F(ProgressDialog, CancelDuringOKStopsThatVeryCall)
{
    progress.Startup(3);
    PressDuringNextOK(progress.cmdCancel, "click");
    EXPECT_FALSE(progress.OK(0, "Song A"));
    EXPECT_FALSE(progress.isVisible());
    EXPECT_FALSE(progress.OK(1, "Song B"));
    EXPECT_EQ(progress.Stopped(), 0) << "the first item it said stop for";

    progress.Startup(3);
    EXPECT_EQ(progress.Stopped(), -1);
}

TEST_F(ProgressDialog, CloseButtonAndEscActAsCancel)
{
    progress.Startup(3);
    PressDuringNextOK(&progress, "close");
    EXPECT_FALSE(progress.OK(0, "Song A"));
    EXPECT_FALSE(progress.isVisible());

    progress.Startup(3);
    EXPECT_TRUE(progress.OK(0, "Song A"));
    PressDuringNextOK(&progress, "reject");
    QTest::qWait(60);
    EXPECT_FALSE(progress.OK(1, "Song B"));
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

TEST_F(ProgressDialog, StartupWithNothingToDoShowsNothing)
{
    progress.Startup(0);
    EXPECT_FALSE(progress.isVisible());
    EXPECT_FALSE(progress.OK(0, "x"));

    // A new run after a cancel goes on again.
    progress.Startup(2);
    EXPECT_TRUE(progress.OK(0, "Song A"));
}

} // namespace
