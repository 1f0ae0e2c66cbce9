#include "SetView.h"
#include "UiTest.h"

#include <QApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QTest>
#include <QToolTip>
#include <QTreeWidget>

using namespace kelvark;

namespace {

using uitest::UiTest;
using uitest::Window;

using Grid = UiTest;

// Rows "0", "1", … with text in column, the rest as a read would give them.
std::vector<GridRow> RowsWith(int column, const std::vector<std::string>& texts)
{
    std::vector<GridRow> rows;
    for (const std::string& text : texts) {
        GridRow row{std::to_string(rows.size()), "1.0", "1", "1", "A", "100%"};
        row[static_cast<std::size_t>(column)] = text;
        rows.push_back(row);
    }
    return rows;
}

// The texts of column as the grid shows them, top to bottom.
std::vector<std::string> Shown(const ProjectGrid& grid, int column)
{
    std::vector<std::string> texts;
    for (int r = 0; r < grid.model()->rowCount(); ++r)
        texts.push_back(grid.model()->index(r, column).data().toString().toStdString());
    return texts;
}

// A click on a header sorts by the figures' values, a cell without one
// before them all; a second click the other way round, a third back to list
// order. The order stays when the rows are shown again.
TEST_F(Grid, HeaderClicksSortByValue)
{
    ProjectGrid grid(nullptr);
    grid.resize(600, 200);
    grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
    struct Case {
        int column;
        std::vector<std::string> texts, ascending;
    };
    const Case cases[] = {
        {0, {"beta", "Alpha", "Gamma"}, {"Alpha", "beta", "Gamma"}},
        {1, {"100.0", "-", "9.5", "123456.7", "10.0"}, {"-", "9.5", "10.0", "100.0", "123.5 GB"}},
        {2, {"12", "3", "100"}, {"3", "12", "100"}},
        {4, {"AA", "B", "", "A", "Z"}, {"", "A", "B", "Z", "AA"}},
        {5, {"100%", "ERR", "9%", "-", "10%"}, {"-", "ERR", "9%", "10%", "100%"}},
    };
    for (const Case& c : cases) {
        grid.ShowRows(RowsWith(c.column, c.texts));
        const std::vector<std::string> listed = Shown(grid, c.column);
        QHeaderView& header = *grid.header();
        const QPoint at(header.sectionViewportPosition(c.column) + header.sectionSize(c.column) / 2,
                        header.height() / 2);
        QTest::mouseClick(header.viewport(), Qt::LeftButton, {}, at);
        EXPECT_EQ(Shown(grid, c.column), c.ascending) << c.column;
        QTest::mouseClick(header.viewport(), Qt::LeftButton, {}, at);
        EXPECT_EQ(Shown(grid, c.column), std::vector(c.ascending.rbegin(), c.ascending.rend())) << c.column;
        grid.ShowRows(RowsWith(c.column, c.texts));
        EXPECT_EQ(Shown(grid, c.column), std::vector(c.ascending.rbegin(), c.ascending.rend())) << c.column;
        QTest::mouseClick(header.viewport(), Qt::LeftButton, {}, at);
        EXPECT_EQ(Shown(grid, c.column), listed) << c.column;
    }
}

// Rows are addressed by their place in the list, whatever the order shown;
// showing rows again selects none.
TEST_F(Grid, RowsAreListPositionsInAnyOrder)
{
    ProjectGrid grid(nullptr);
    grid.ShowRows(RowsWith(1, {"1.0", "3.0", "2.0", "4.0"}));
    grid.sortByColumn(1, Qt::DescendingOrder);
    grid.selectionModel()->select(grid.model()->index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    grid.selectionModel()->select(grid.model()->index(3, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_EQ(grid.SelectedRows(), std::vector<int>({0, 3}));
    grid.SetSelected(3, false);
    EXPECT_EQ(grid.SelectedRows(), std::vector<int>({0}));
    grid.SetRowName(1, "Renamed");
    grid.SetToolTip(1, 4, "DVD-A");
    EXPECT_EQ(grid.model()->index(1, 0).data().toString(), "Renamed");
    EXPECT_EQ(grid.Text(1, 0), "Renamed");
    EXPECT_EQ(grid.ToolTip(1, 4), "DVD-A");
    grid.ShowRows(RowsWith(1, {"1.0", "3.0", "2.0", "4.0"}));
    EXPECT_TRUE(grid.SelectedRows().empty());
    EXPECT_EQ(grid.ToolTip(1, 4), "");
}

// After a cancelled read the grid shows the projects read only, one fewer
// for each one moved away.
TEST_F(Grid, ShowsTheFirstRowsOnly)
{
    ProjectGrid grid(nullptr);
    const std::vector<GridRow> rows = RowsWith(0, {"A", "B", "C", "D"});
    grid.ShowFirst(3);
    grid.ShowRows(rows);
    EXPECT_EQ(grid.RowCount(), 3);
    grid.ShowFirst(2);
    EXPECT_EQ(grid.RowCount(), 2);
    grid.ShowRows(rows);
    EXPECT_EQ(grid.RowCount(), 2);
    grid.ShowFirst(-1);
    grid.ShowRows(rows);
    EXPECT_EQ(grid.RowCount(), 4);
}

// In the window's font, at the columns' first widths, the widest texts of
// the figure columns show whole; a size from 100,000 MB on shows in GB with
// its MB as the tooltip.
TEST_F(Grid, WidestTextsFitTheirColumns)
{
    ProjectGrid grid(nullptr);
    grid.ShowRows({{"Take", "99999.9", "32767", "32767", "WWW", "100%"},
                   {"Take", ".0", "0", "0", "", "ERR"},
                   {"Take", "999949.9", "0", "0", "", "ERR"},
                   {"Take", "960123,4", "0", "0", "", "ERR"}});
    EXPECT_EQ(grid.Text(2, 1), "999.9 GB");
    EXPECT_EQ(grid.Text(3, 1), "960,1 GB");
    EXPECT_EQ(grid.ToolTip(2, 1), "999949.9 MB");
    for (int row = 0; row < 2; ++row)
        for (int column = 1; column < ProjectModel::Columns; ++column)
            EXPECT_EQ(grid.ToolTip(row, column), "") << grid.Text(row, column).toStdString();
}

// The names take the width the other columns leave, up to a limit: in a wide
// window the figures stay near them. A name cut short shows whole as a tooltip.
TEST_F(Grid, NamesTakeTheWidthLeftUpToALimit)
{
    Window w;
    Main& m = w.main;
    ProjectGrid& grid = *m.grdOut;
    const QString name = "A very long project name that no column at its first width holds";
    grid.ShowRows({{name.toStdString(), "12.5", "2", "2", "A", "50%"}});
    m.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&m));
    EXPECT_EQ(grid.header()->length(), grid.viewport()->width());
    EXPECT_EQ(grid.ToolTip(0, 0), name);
    const QPoint at = grid.visualRect(grid.Index(0, 0)).center();
    QHelpEvent event(QEvent::ToolTip, at, grid.viewport()->mapToGlobal(at));
    QApplication::sendEvent(grid.viewport(), &event);
    EXPECT_EQ(QToolTip::text(), name);
    QToolTip::hideText();

    m.resize(m.width() + 2000, m.height());
    ASSERT_TRUE(QTest::qWaitFor([&] { return grid.viewport()->width() > 2000; }));
    EXPECT_EQ(grid.columnWidth(0), ProjectGrid::MaxNameChars * grid.fontMetrics().averageCharWidth());
    grid.header()->resizeSection(0, 1500);
    EXPECT_EQ(grid.ToolTip(0, 0), "");
    m.resize(m.width() - 2000, m.height());
    ASSERT_TRUE(QTest::qWaitFor([&] { return grid.viewport()->width() < 1000; }));
    EXPECT_EQ(grid.columnWidth(0), 1500) << "the width the user gave stays";
}

// The plan by set: each set's total against the disc's budget and its
// projects, then the projects in no set with why.
TEST_F(Grid, SetViewShowsThePlanBySet)
{
    fixtures::Studio studio;
    constexpr std::uint32_t MB = 1000000;
    fixtures::WriteProject(studio.root.path(), "Alpha", {{"alpha.wav", 300 * MB}});
    fixtures::WriteProject(studio.root.path(), "Beta", {{"beta.wav", 300 * MB + 4096}}); // larger than Gamma
    fixtures::WriteProject(studio.root.path(), "Gamma", {{"gamma.wav", 300 * MB}});
    fixtures::WriteProject(studio.root.path(), "Huge", {{"huge.wav", 700 * MB}});
    studio.Read(true);
    SetView view;
    view.Show(studio.list);
    EXPECT_EQ(view.lblSummary->text(), "2 CDs, 900.0 MB; 1 project fits on no CD");
    std::vector<std::string> rows;
    for (int s = 0; s < view.lstSets->topLevelItemCount(); ++s) {
        const QTreeWidgetItem* set = view.lstSets->topLevelItem(s);
        std::string row = (set->text(0) + "|" + set->text(1) + "|" + set->text(2) + ":").toStdString();
        for (int p = 0; p < set->childCount(); ++p)
            row +=
                " " + (set->child(p)->text(0) + " " + set->child(p)->text(1) + set->child(p)->toolTip(0)).toStdString();
        rows.push_back(row);
    }
    EXPECT_EQ(rows,
              std::vector<std::string>({"CD-A|600.0 MB of 680.5 MB|2 projects: Alpha 300.0 MB Beta 300.0 MB",
                                        "CD-B|300.0 MB of 680.5 MB|1 project: Gamma 300.0 MB",
                                        "Not in a set|700.0 MB|1 project: Huge 700.0 MBLarger than one CD (680.5 MB)"}));
}

} // namespace
