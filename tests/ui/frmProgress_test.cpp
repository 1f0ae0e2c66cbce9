#include "UiTest.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

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

TEST_F(ProgressDialog, AdvancesOncePerItemAndHidesAtTheLast)
{
    progress.Startup(3);
    EXPECT_TRUE(progress.isVisible());
    EXPECT_EQ(progress.ProgressBar1->minimum(), 0);
    EXPECT_EQ(progress.ProgressBar1->maximum(), 3);

    const char* names[] = {"Song A", "Song B", "Song C"};
    for (int k = 0; k < 3; ++k) {
        EXPECT_TRUE(progress.OK(k, names[k]));
        EXPECT_EQ(progress.ProgressBar1->value(), k + 1);
        EXPECT_EQ(progress.Label1->text(), names[k]);
        EXPECT_EQ(progress.isVisible(), k < 2) << "after item " << k;
    }
}

TEST_F(ProgressDialog, EmptyTextKeepsTheLine)
{
    progress.Startup(3);
    progress.OK(0, "Song A");
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
