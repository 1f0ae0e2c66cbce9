#pragma once

#include "UserInterface.h"

#include <QTreeWidget>

// The project grid: a list in report view, one row per project in the order
// the rows were added, never sorted, several rows selectable at a time. Texts
// are shown as UTF-8 (ShownText); each row keeps its name's own bytes as the
// first column's Qt::UserRole data.
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

signals:
    // A mouse button was released over the rows.
    void MouseUp(Qt::MouseButton button, const QPoint& globalPos);

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};
