#include "ProjectGrid.h"

#include "TextCodec.h"

#include <QHeaderView>
#include <QMouseEvent>

ProjectGrid::ProjectGrid(QWidget* parent)
    : QTreeWidget(parent)
{
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSortingEnabled(false);
    setColumnCount(0);
    // Columns keep the widths they are given.
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
}

void ProjectGrid::Clear()
{
    clear();
}

namespace {

QString Shown(const std::string& bytes)
{
    return QString::fromStdString(ShownText(bytes));
}

// The first column shows the project's name and keeps its bytes.
void SetName(QTreeWidgetItem& item, const std::string& bytes)
{
    item.setText(0, Shown(bytes));
    item.setData(0, Qt::UserRole, QByteArray::fromStdString(bytes));
}

} // namespace

void ProjectGrid::AddRow(const GridRow& texts)
{
    QStringList columns;
    for (const std::string& text : texts)
        columns.append(Shown(text));
    auto* item = new QTreeWidgetItem(columns);
    SetName(*item, texts[0]);
    addTopLevelItem(item);
}

int ProjectGrid::RowCount() const
{
    return topLevelItemCount();
}

bool ProjectGrid::IsSelected(int r) const
{
    return topLevelItem(r - 1)->isSelected();
}

void ProjectGrid::ClearSelection(int r)
{
    topLevelItem(r - 1)->setSelected(false);
}

void ProjectGrid::SetText(int r, const std::string& text)
{
    SetName(*topLevelItem(r - 1), text);
}

void ProjectGrid::RemoveRow(int r)
{
    delete takeTopLevelItem(r - 1);
}

void ProjectGrid::mouseReleaseEvent(QMouseEvent* event)
{
    QTreeWidget::mouseReleaseEvent(event);
    emit MouseUp(event->button(), event->globalPosition().toPoint());
}
