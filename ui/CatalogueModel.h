#pragma once

#include "Catalogue.h"

#include <QAbstractTableModel>

#include <vector>

namespace kelvark {

// The projects the catalogue found, one row each, in the columns Project,
// Disc, Backup of (the backup's root folder), Sorted, Written, Verified and
// Verdict. A day not known shows empty, and "never" for a disc never verified.
class WhereModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Project, Disc, Root, Sorted, Written, Verified, Verdict, Columns };

    explicit WhereModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    void SetRows(std::vector<WhereRow> found);
    const WhereRow& Row(int row) const { return rows[static_cast<std::size_t>(row)]; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    std::vector<WhereRow> rows;
};

// The catalogue's discs, oldest check first, in the columns Check, Disc,
// Backup of, Sorted, Medium, Projects, Written, Verified and Verdict. A disc
// due for its check says "Due" in the Check column, with the style's warning
// icon, its row in bold on the tint of a verify's faults, and the tooltip
// "Not verified for three years or more".
class DiscModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Check, Disc, Root, Sorted, MediumColumn, Projects, Written, Verified, Verdict, Columns };

    explicit DiscModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    void SetRows(std::vector<DiscRow> discs);
    const DiscRow& Row(int row) const { return rows[static_cast<std::size_t>(row)]; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    std::vector<DiscRow> rows;
};

} // namespace kelvark
