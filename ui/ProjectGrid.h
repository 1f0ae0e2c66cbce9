#pragma once

#include "orvoProjectList.h"

#include <QTreeWidget>

#include <string>
#include <vector>

namespace kelvark {

// The project grid: a list in report view, one row per project in the order
// the rows were added, never sorted, several rows selectable at a time. Texts
// are shown as UTF-8 (ShownText); each row keeps its name's own bytes as the
// first column's Qt::UserRole data. Texts too wide for their column end in "…"
// and show whole as a tooltip. The Project column takes the width the others
// leave. A size of 100,000 MB or more shows in GB, the exact figure as its
// tooltip. Rows are counted from 0.
class ProjectGrid final : public QTreeWidget {
    Q_OBJECT
public:
    explicit ProjectGrid(QWidget* parent);

    // Shows rows instead of the rows shown, none selected, in one batch so
    // that a folder of thousands fills at once; with ShowFirst's count, only
    // that many of them.
    void ShowRows(const std::vector<GridRow>& rows);
    int RowCount() const { return topLevelItemCount(); }
    // The selected rows, in order.
    std::vector<int> SelectedRows() const;
    void SetToolTip(int row, int column, const QString& tip) { topLevelItem(row)->setToolTip(column, tip); }
    void SetRowSelected(int row, bool selected) { topLevelItem(row)->setSelected(selected); }
    // Shows name in the first column of row.
    void SetRowName(int row, const std::string& name);

    // Adds a column with its header and its width in pixels; the first one
    // takes the width the others leave instead.
    void AddColumn(const QString& header, int width);
    // Shows the first count rows of the list only, one fewer for each row
    // removed; -1 shows them all. Rows past count go at once.
    void ShowFirst(int count);

    // text as the cell of column shows it: whole, or cut short with "…".
    QString Shown(const QString& text, int column) const;
    // The tooltip of a cell (row and column from 0): the one the window gave
    // it, else the whole text when the cell cuts it, else nothing.
    QString ToolTip(int row, int column) const;

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

private:
    void AskRowMenu();

    int shownRows = -1;
};

} // namespace kelvark
