#include "UiTest.h"

#include <QApplication>
#include <QHelpEvent>
#include <QTest>
#include <QToolTip>

using namespace kelvark;

namespace {

using uitest::UiTest;
using uitest::Window;

using Grid = UiTest;

// In the window's font, at the columns' widths, the widest texts of the number
// columns show whole: sizes up to 99999.9 MB and then in GB, counts up to the
// largest 16-bit one, three set letters and the usage texts.
TEST_F(Grid, WidestTextsFitTheirColumns)
{
    Window w;
    ProjectGrid& grid = *w.main.grdOut;
    grid.ShowRows({{"Take", "99999.9", "32767", "32767", "WWW", "100%"},
                   {"Take", ".0", "0", "0", "", "ERR"},
                   {"Take", "999949.9", "0", "0", "", "ERR"}});
    ASSERT_EQ(grid.topLevelItem(2)->text(1), "999.9 GB");
    const QFontMetrics metrics(grid.font());
    for (int row = 0; row < 3; ++row) {
        for (int column = 1; column < 6; ++column) {
            const QString text = grid.topLevelItem(row)->text(column);
            EXPECT_LT(metrics.horizontalAdvance(text), grid.columnWidth(column)) << text.toStdString();
            EXPECT_EQ(grid.Shown(text, column), text);
            if (row < 2 || column > 1) {
                EXPECT_EQ(grid.ToolTip(row, column), "") << text.toStdString();
            }
        }
    }
}

TEST_F(Grid, CutTextShowsWholeAsTooltip)
{
    Window w;
    Main& m = w.main;
    ProjectGrid& grid = *m.grdOut;
    const QString name = "A very long project name that no column holds";
    grid.ShowRows({{name.toStdString(), "12.5", "2", "2", "A", "50%"}});
    // The Project column takes its width once the window is laid out.
    m.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&m));
    EXPECT_TRUE(grid.Shown(name, 0).endsWith(u'…'));
    EXPECT_EQ(grid.ToolTip(0, 0), name);
    const QPoint at = grid.visualRect(grid.model()->index(0, 0)).center();
    QHelpEvent event(QEvent::ToolTip, at, grid.viewport()->mapToGlobal(at));
    QApplication::sendEvent(grid.viewport(), &event);
    EXPECT_EQ(QToolTip::text(), name);
    QToolTip::hideText();
}

// A size of 100,000 MB or more shows in GB with one decimal and the size's own
// separator; the exact figure is the tooltip.
TEST_F(Grid, LargeSizesShowInGigabytes)
{
    Window w;
    ProjectGrid& grid = *w.main.grdOut;
    const std::pair<const char*, QString> sizes[] = {
        {"99999.9", ""}, {"100000.0", "100.0 GB"}, {"123456.7", "123.5 GB"}, {"960123,4", "960,1 GB"}, {".5", ""},
        {"-", ""},
    };
    std::vector<GridRow> rows;
    for (const auto& [size, shown] : sizes)
        rows.push_back({"Take", size, "1", "1", "A", "100%"});
    grid.ShowRows(rows);
    for (int row = 0; row < std::ssize(sizes); ++row) {
        const QString exact = QString::fromLatin1(sizes[row].first);
        const bool inGB = !sizes[row].second.isEmpty();
        EXPECT_EQ(grid.topLevelItem(row)->text(1), inGB ? sizes[row].second : exact) << row;
        EXPECT_EQ(grid.ToolTip(row, 1), inGB ? exact + " MB" : QString()) << row;
    }
}

} // namespace
