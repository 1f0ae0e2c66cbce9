#pragma once

#include "UserInterface.h"

#include <QTreeWidget>

// The project grid: a list in report view, one row per project in the order
// the rows were added, never sorted, several rows selectable at a time. Texts
// are shown as UTF-8 (ShownText); each row keeps its name's own bytes as the
// first column's Qt::UserRole data. Texts too wide for their column end in "…"
// and show whole as a tooltip.
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
    void RemoveRow(int r) override;

    // Adds a column with its header and its width in pixels.
    void AddColumn(const QString& header, int width);

    // text as the cell of column shows it: whole, or cut short with "…".
    QString Shown(const QString& text, int column) const;
    // The tooltip of a cell (row and column from 0): the one the window gave
    // it, else the whole text when the cell cuts it, else nothing.
    QString ToolTip(int row, int column) const;

signals:
    // A mouse button was released over a row (not the empty area below them).
    void MouseUp(Qt::MouseButton button, const QPoint& globalPos);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};
