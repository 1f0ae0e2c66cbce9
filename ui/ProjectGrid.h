#pragma once

#include "UserInterface.h"

#include <QTreeWidget>

namespace kelvark {

// The project grid: a list in report view, one row per project in the order
// the rows were added, never sorted, several rows selectable at a time. Texts
// are shown as UTF-8 (ShownText); each row keeps its name's own bytes as the
// first column's Qt::UserRole data. Texts too wide for their column end in "…"
// and show whole as a tooltip. The Project column takes the width the others
// leave. A size of 100,000 MB or more shows in GB, the exact figure as its
// tooltip. Rows added one by one are shown in one batch by Flush (or by any
// call of the Grid interface), so that a folder of thousands fills at once.
class ProjectGrid final : public QTreeWidget, public Grid {
    Q_OBJECT
public:
    explicit ProjectGrid(QWidget* parent);

    void Clear() override;
    void AddRow(const GridRow& texts) override;
    int RowCount() const override;
    bool IsSelected(int r) const override;
    void ClearSelection(int r) override;
    void SetText(int r, const std::string& text) override;

    // Adds a column with its header and its width in pixels; the first one
    // takes the width the others leave instead.
    void AddColumn(const QString& header, int width);
    // Shows the rows added since the last Flush.
    void Flush();
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

    QList<QTreeWidgetItem*> pending;
    int shownRows = -1;
};

} // namespace kelvark
