#pragma once

#include "orvoProjectList.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QSortFilterProxyModel>
#include <QString>

#include <array>
#include <vector>

namespace kelvark {

// The projects' rows as a table, one row per project in list order (source
// row r shows project r), in the columns of GridRow. Each cell shows its text
// as UTF-8 (ShownText); a size of 100,000 MB or more shows in GB. Under
// SortRole a cell gives what sorting compares: a name's text, a figure's
// number (a size in tenths of MB, a share in percent, set letters as the set's
// number). A cell without a figure ("", "-", "ERR") sorts before every figure,
// in that order. The headers explain their columns as tooltips.
class ProjectModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Project, Size, Tracks, Wavs, BU, Used, Columns };
    static constexpr int SortRole = Qt::UserRole;

    explicit ProjectModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    // Shows the first count of rows instead of the rows shown, without tooltips.
    void SetRows(const std::vector<GridRow>& rows, std::size_t count);
    // Removes the rows from count on.
    void KeepFirst(int count);
    // Shows name in the Project cell of row.
    void SetName(int row, const std::string& name);
    // Gives the cell a tooltip of its own; an empty one takes it away.
    void SetToolTip(int row, int column, const QString& tip);

    // True when the figure of left's cell in column (not Project) sorts before right's.
    bool FigureBefore(int left, int right, int column) const
    {
        const auto c = static_cast<std::size_t>(column);
        return rows[static_cast<std::size_t>(left)].keys[c] < rows[static_cast<std::size_t>(right)].keys[c];
    }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    struct Row {
        GridRow texts;
        QString name; // the name as shown
        std::array<qint64, Columns> keys{}; // the figures' sort values; unused for the name
    };
    static Row Made(const GridRow& texts);

    std::vector<Row> rows;
    // The tooltips given, by row * Columns + column.
    QHash<qint64, QString> tips;
};

// Sorts the rows of a ProjectModel by SortRole; the figures without making a
// QVariant of each, so that 100,000 rows sort at once.
class ProjectSort final : public QSortFilterProxyModel {
public:
    explicit ProjectSort(ProjectModel& projects);

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    const ProjectModel& projects;
};

} // namespace kelvark
