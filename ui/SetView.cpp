#include "SetView.h"

#include "Commands.h"
#include "Shown.h"
#include "TextCodec.h"

#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <vector>

namespace kelvark {

namespace {

enum Column { Name, Size, Projects };

// Bytes in decimal MB with one decimal and the locale's separators: "4,512.3 MB".
QString Megabytes(std::int64_t bytes)
{
    const QLocale locale;
    const std::int64_t tenths = (bytes + 50000) / 100000;
    return locale.toString(static_cast<qlonglong>(tenths / 10)) + locale.decimalPoint() + QString::number(tenths % 10)
           + QStringLiteral(" MB");
}

QString ProjectCount(int projects)
{
    return QLocale().toString(projects) + (projects == 1 ? QStringLiteral(" project") : QStringLiteral(" projects"));
}

QTreeWidgetItem* Row(QTreeWidgetItem* parent, const QString& name, const QString& size, const QString& count = {})
{
    auto* row = new QTreeWidgetItem(parent, {name, size, count});
    row->setTextAlignment(Size, Qt::AlignRight | Qt::AlignVCenter);
    row->setTextAlignment(Projects, Qt::AlignRight | Qt::AlignVCenter);
    return row;
}

} // namespace

SetView::SetView(QWidget* parent) : QWidget(parent)
{
    lblSummary = new QLabel(this);
    lstSets = new QTreeWidget(this);
    lstSets->setHeaderLabels({QStringLiteral("Set"), QStringLiteral("Size"), QStringLiteral("Projects")});
    lstSets->headerItem()->setToolTip(Size, QStringLiteral("What the files cost on the disc, in decimal MB "
                                                           "(1 MB = 1,000,000 bytes), of what one disc holds"));
    for (const int figures : {Size, Projects})
        lstSets->headerItem()->setTextAlignment(figures, Qt::AlignRight | Qt::AlignVCenter);
    lstSets->setUniformRowHeights(true);
    lstSets->setTextElideMode(Qt::ElideMiddle);
    lstSets->header()->setStretchLastSection(false);
    const QFontMetrics metrics = fontMetrics();
    lstSets->setColumnWidth(Name, metrics.averageCharWidth() * 32);
    lstSets->setColumnWidth(Size, metrics.horizontalAdvance(QStringLiteral("99,999.9 MB of 99,999.9 MB")) + 16);
    lstSets->setColumnWidth(Projects, metrics.horizontalAdvance(QStringLiteral("9,999 projects")) + 16);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblSummary);
    layout->addWidget(lstSets);
}

void SetView::Show(const orvoProjectList& list)
{
    lblSummary->setText(QString::fromStdString(PlanSummary(list)));
    lstSets->clear();
    const std::vector<orvoProjectList::SetTotal> sets = list.SetTotals();
    const QString budget = Megabytes(list.medium.budget);
    std::vector<QTreeWidgetItem*> setRows;
    for (const orvoProjectList::SetTotal& set : sets)
        setRows.push_back(Row(lstSets->invisibleRootItem(), QString::fromStdString(set.name),
                              Megabytes(set.bytes) + QStringLiteral(" of ") + budget, ProjectCount(set.projects)));
    QTreeWidgetItem* noSet = nullptr;
    int inNoSet = 0;
    std::int64_t noSetBytes = 0;
    for (const auto& project : list.projects) {
        const QString name = Shown(project->Name);
        const QString size = Megabytes(project->discSize);
        if (project->BackupNum >= 0 && project->BackupNum < std::ssize(setRows)) {
            Row(setRows[static_cast<std::size_t>(project->BackupNum)], name, size);
            continue;
        }
        if (!noSet)
            noSet = Row(lstSets->invisibleRootItem(), QStringLiteral("Not in a set"), {});
        Row(noSet, name, size)->setToolTip(Name, QString::fromStdString(NoSetReason(list, *project)));
        ++inNoSet;
        noSetBytes += project->discSize;
    }
    if (noSet) {
        noSet->setText(Size, Megabytes(noSetBytes));
        noSet->setText(Projects, ProjectCount(inNoSet));
        noSet->setToolTip(Name, QStringLiteral("Projects that fit on no ") + QString::fromStdString(list.medium.name)
                                    + QStringLiteral(": each one's tooltip says why"));
        noSet->setExpanded(true);
    }
}

} // namespace kelvark
