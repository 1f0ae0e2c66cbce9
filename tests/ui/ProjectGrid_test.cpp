#include "UiTest.h"

#include <QApplication>
#include <QHelpEvent>
#include <QTest>
#include <QToolTip>

namespace {

using uitest::UiTest;
using uitest::Window;

using Grid = UiTest;

// In the window's font, at the columns' widths, the widest texts of the number
// columns show whole: sizes up to 9999.9 MB, counts up to the largest 16-bit
// one, three set letters and the usage texts.
TEST_F(Grid, WidestTextsFitTheirColumns)
{
    Window w;
    ProjectGrid& grid = *w.main.grdOut;
    grid.AddRow({"Take", "9999.9", "32767", "32767", "WWW", "100%"});
    grid.AddRow({"Take", ".0", "0", "0", "", "ERR"});
    const QFontMetrics metrics(grid.font());
    for (int row = 0; row < 2; ++row) {
        for (int column = 1; column < 6; ++column) {
            const QString text = grid.topLevelItem(row)->text(column);
            EXPECT_LT(metrics.horizontalAdvance(text), grid.columnWidth(column)) << text.toStdString();
            EXPECT_EQ(grid.Shown(text, column), text);
            EXPECT_EQ(grid.ToolTip(row, column), "") << text.toStdString();
        }
    }
}

TEST_F(Grid, CutTextShowsWholeAsTooltip)
{
    Window w;
    Main& m = w.main;
    ProjectGrid& grid = *m.grdOut;
    const QString name = "A very long project name that no column holds";
    grid.AddRow({name.toStdString(), "12.5", "2", "2", "A", "50%"});
    EXPECT_TRUE(grid.Shown(name, 0).endsWith(u'…'));
    EXPECT_EQ(grid.ToolTip(0, 0), name);

    m.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&m));
    const QPoint at = grid.visualRect(grid.model()->index(0, 0)).center();
    QHelpEvent event(QEvent::ToolTip, at, grid.viewport()->mapToGlobal(at));
    QApplication::sendEvent(grid.viewport(), &event);
    EXPECT_EQ(QToolTip::text(), name);
    QToolTip::hideText();
}

} // namespace
