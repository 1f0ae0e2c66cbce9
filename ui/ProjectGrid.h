#pragma once

#include "ProjectModel.h"

#include <QTreeView>

#include <string>
#include <vector>

namespace kelvark {

// The project grid: the projects' rows (ProjectModel) in a list that a click
// on a column's header sorts by that column, and a second click the other way
// round; unsorted, the rows stand in list order. Several rows are selectable
// at a time. The columns are resizable; the Project column takes the width the
// others leave, up to MaxNameChars characters, until the user sizes it. A
// text too wide for its cell is cut short with "…" in its middle and shows
// whole as a tooltip. Rows are addressed by their source row, the project's
// position in the list, counted from 0, however they are sorted.
class ProjectGrid final : public QTreeView {
    Q_OBJECT
public:
    static constexpr int MaxNameChars = 40;

    explicit ProjectGrid(QWidget* parent);

    // Shows rows instead of the rows shown, none selected and without
    // tooltips, in the sort order the user chose; with ShowFirst's count,
    // only that many of them.
    void ShowRows(const std::vector<GridRow>& rows);
    int RowCount() const { return projects.rowCount(); }
    // The selected rows, in list order.
    std::vector<int> SelectedRows() const;
    // Selects row or takes it out of the selection.
    void SetSelected(int row, bool selected);
    // Shows name in the first column of row.
    void SetRowName(int row, const std::string& name);
    // Gives a cell (row and column from 0) a tooltip of its own.
    void SetToolTip(int row, int column, const QString& tip);
    // Shows the first count rows of the list only, one fewer for each row
    // removed; -1 shows them all. Rows past count go at once.
    void ShowFirst(int count);

    // The text a cell shows (row and column from 0), whole.
    QString Text(int row, int column) const;
    // The tooltip of a cell: the one the window gave it, else the whole text
    // when the cell cuts it, else nothing.
    QString ToolTip(int row, int column) const;
    // The view's index of a cell.
    QModelIndex Index(int row, int column) const;

signals:
    // A mouse button was released over a row (not the empty area below them).
    void MouseUp(Qt::MouseButton button, const QPoint& globalPos);
    // The Menu key or Shift+F10 asks for the row menu at the current row.
    void RowMenuKey(const QPoint& globalPos);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void AskRowMenu();
    void FitNames();

    ProjectModel projects;
    ProjectSort sorted{projects};
    int shownRows = -1;
    // The user sized the Project column: it keeps its width.
    bool namesSized = false;
    bool fittingNames = false;
};

} // namespace kelvark
