#include "CatalogueModel.h"

#include "Medium.h"
#include "Shown.h"
#include "frmVerify.h"

#include <QApplication>
#include <QFont>
#include <QPalette>
#include <QStyle>

#include <utility>

namespace kelvark {

namespace {

const QString DueTip = QStringLiteral("Not verified for three years or more");

// The day a disc was verified, or "never".
QString VerifiedDay(const std::string& day)
{
    return day.empty() ? QStringLiteral("never") : Shown(day);
}

// A medium's name, "DVD", or its key when it names none.
QString MediumName(const std::string& key)
{
    Medium medium;
    return Shown(MediumNamed(key, medium).Failed() ? key : medium.name);
}

} // namespace

void WhereModel::SetRows(std::vector<WhereRow> found)
{
    beginResetModel();
    rows = std::move(found);
    endResetModel();
}

int WhereModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows.size());
}

int WhereModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : Columns;
}

QVariant WhereModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    const WhereRow& row = Row(index.row());
    switch (index.column()) {
    case Project: return Shown(row.project);
    case Disc: return Shown(row.disc.set);
    case Root: return Shown(row.disc.root);
    case Sorted: return Shown(row.disc.date);
    case Written: return Shown(row.written);
    case Verified: return VerifiedDay(row.verified);
    case Verdict: return Shown(row.verdict);
    default: return {};
    }
}

QVariant WhereModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const QString names[Columns] = {
        QStringLiteral("Project"), QStringLiteral("Disc"),     QStringLiteral("Backup of"), QStringLiteral("Sorted"),
        QStringLiteral("Written"), QStringLiteral("Verified"), QStringLiteral("Verdict")};
    return section >= 0 && section < Columns ? names[section] : QVariant();
}

void DiscModel::SetRows(std::vector<DiscRow> discs)
{
    beginResetModel();
    rows = std::move(discs);
    endResetModel();
}

int DiscModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows.size());
}

int DiscModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : Columns;
}

QVariant DiscModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    const DiscRow& row = Row(index.row());
    if (role == Qt::FontRole && row.due) {
        QFont bold;
        bold.setBold(true);
        return bold;
    }
    if (role == Qt::BackgroundRole && row.due)
        return Tinted(QApplication::palette().color(QPalette::Base));
    if (role == Qt::DecorationRole && row.due && index.column() == Check)
        return QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning);
    if (role == Qt::ToolTipRole && row.due)
        return DueTip;
    if (role == Qt::TextAlignmentRole && index.column() == Projects)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case Check: return row.due ? QStringLiteral("Due") : QString();
    case Disc: return Shown(row.disc.set);
    case Root: return Shown(row.disc.root);
    case Sorted: return Shown(row.disc.date);
    case MediumColumn: return MediumName(row.medium);
    case Projects: return row.projects;
    case Written: return Shown(row.written);
    case Verified: return VerifiedDay(row.verified);
    case Verdict: return Shown(row.verdict);
    default: return {};
    }
}

QVariant DiscModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const QString names[Columns] = {
        QStringLiteral("Check"),   QStringLiteral("Disc"),     QStringLiteral("Backup of"),
        QStringLiteral("Sorted"),  QStringLiteral("Medium"),   QStringLiteral("Projects"),
        QStringLiteral("Written"), QStringLiteral("Verified"), QStringLiteral("Verdict")};
    return section >= 0 && section < Columns ? names[section] : QVariant();
}

} // namespace kelvark
