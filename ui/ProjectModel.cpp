#include "ProjectModel.h"

#include "Shown.h"
#include "TextCodec.h"

#include <algorithm>
#include <cctype>

namespace kelvark {

namespace {

constexpr const char* Headers[] = {"Project", "Size", "Tracks", "Wavs", "BU", "Used"};
static_assert(std::size(Headers) == std::tuple_size_v<GridRow>, "one header per column of a row");

// What each header's tooltip says of its column.
constexpr const char* HeaderTips[] = {
    "The project's name; a name too long for the column shows whole as its tooltip",
    "The size of the project's wave files in decimal MB (1 MB = 1,000,000 bytes), from 100,000 MB on in GB; "
    "\"-\" for a read-only project, whose tooltip gives what the plan counts for it",
    "The tracks of the project",
    "The wave files the project plays",
    "Backup set: the letters of the disc the plan puts the project on (A for CD-A or DVD-A, …); "
    "empty when it fits on no disc",
    "The share of its wave files' audio that the project's regions play; ERR when its wave files hold no audio, "
    "\"-\" for a read-only project",
};

// Names at the left, set letters centred, figures at the right so that they line up.
Qt::Alignment Alignment(int column)
{
    return (column == ProjectModel::Project ? Qt::AlignLeft
            : column == ProjectModel::BU    ? Qt::AlignHCenter
                                            : Qt::AlignRight)
           | Qt::AlignVCenter;
}

// A figure's digits as one number, whatever stands between them: "123.4" and
// "123,4" MB are 1234 tenths, "57%" is 57. A text without a digit sorts before
// every figure: "" first, then "-", then anything else ("ERR").
qint64 Figure(const std::string& text)
{
    if (std::none_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); }))
        return text.empty() ? -3 : text == "-" ? -2 : -1;
    qint64 figure = 0;
    for (const unsigned char c : text)
        if (std::isdigit(c))
            figure = figure * 10 + (c - '0');
    return figure;
}

// Set letters as the set's number: A is 0, Z 25, AA 26; none is -1.
qint64 SetNumber(const std::string& letters)
{
    qint64 number = 0;
    for (const unsigned char c : letters)
        number = number * 26 + (c - 'A' + 1);
    return number - 1;
}

// A size of 100,000 MB or more, "123456.7", in GB with one decimal, "123.5 GB";
// else none. The text's own decimal separator stays.
QString InGigabytes(const QString& megabytes)
{
    qsizetype digits = 0;
    while (digits < megabytes.size() && megabytes[digits].isDigit())
        ++digits;
    if (digits < 6 || digits + 2 != megabytes.size())
        return {};
    const qlonglong tenths = megabytes.left(digits).toLongLong() * 10 + megabytes.back().digitValue();
    const qlonglong gbTenths = (tenths + 500) / 1000;
    return QString::number(gbTenths / 10) + megabytes[digits] + QString::number(gbTenths % 10) + QStringLiteral(" GB");
}

} // namespace

ProjectModel::Row ProjectModel::Made(const GridRow& texts)
{
    Row row{texts, Shown(texts[Project]), {}};
    for (const int column : {Size, Tracks, Wavs, Used})
        row.keys[column] = Figure(texts[column]);
    row.keys[BU] = SetNumber(texts[BU]);
    return row;
}

void ProjectModel::SetRows(const std::vector<GridRow>& shown, std::size_t count)
{
    beginResetModel();
    rows.clear();
    rows.reserve(std::min(count, shown.size()));
    for (std::size_t r = 0; r < shown.size() && r < count; ++r)
        rows.push_back(Made(shown[r]));
    tips.clear();
    endResetModel();
}

void ProjectModel::KeepFirst(int count)
{
    if (count < 0 || count >= rowCount())
        return;
    beginRemoveRows({}, count, rowCount() - 1);
    rows.resize(static_cast<std::size_t>(count));
    tips.removeIf([count](const auto& tip) { return tip.key() >= qint64{count} * Columns; });
    endRemoveRows();
}

void ProjectModel::SetName(int row, const std::string& name)
{
    Row& shown = rows.at(static_cast<std::size_t>(row));
    shown.texts[Project] = name;
    shown.name = Shown(name);
    emit dataChanged(index(row, Project), index(row, Project));
}

void ProjectModel::SetToolTip(int row, int column, const QString& tip)
{
    const qint64 key = qint64{row} * Columns + column;
    if (tip.isEmpty())
        tips.remove(key);
    else
        tips.insert(key, tip);
    emit dataChanged(index(row, column), index(row, column), {Qt::ToolTipRole});
}

int ProjectModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows.size());
}

int ProjectModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : Columns;
}

QVariant ProjectModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    const Row& row = rows[static_cast<std::size_t>(index.row())];
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        if (column == Project)
            return row.name;
        if (column == Size) {
            const QString megabytes = QString::fromStdString(row.texts[Size]);
            const QString gigabytes = InGigabytes(megabytes);
            return gigabytes.isEmpty() ? megabytes : gigabytes;
        }
        return Shown(row.texts[static_cast<std::size_t>(column)]);
    case SortRole: return column == Project ? QVariant(row.name) : QVariant(row.keys[static_cast<std::size_t>(column)]);
    case Qt::ToolTipRole:
        if (const auto tip = tips.constFind(qint64{index.row()} * Columns + column); tip != tips.cend())
            return *tip;
        // A size shown in GB gives its MB.
        if (column == Size && !InGigabytes(QString::fromStdString(row.texts[Size])).isEmpty())
            return QString::fromStdString(row.texts[Size]) + QStringLiteral(" MB");
        return {};
    case Qt::TextAlignmentRole: return QVariant::fromValue(Alignment(column));
    default: return {};
    }
}

QVariant ProjectModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= Columns)
        return {};
    switch (role) {
    case Qt::DisplayRole: return QString::fromLatin1(Headers[section]);
    case Qt::ToolTipRole: return QString::fromUtf8(HeaderTips[section]);
    case Qt::TextAlignmentRole: return QVariant::fromValue(Alignment(section));
    default: return {};
    }
}

ProjectSort::ProjectSort(ProjectModel& projects) : projects(projects)
{
    setSourceModel(&projects);
    setSortRole(ProjectModel::SortRole);
    setSortCaseSensitivity(Qt::CaseInsensitive);
    setSortLocaleAware(true);
}

bool ProjectSort::lessThan(const QModelIndex& left, const QModelIndex& right) const
{
    if (left.column() == ProjectModel::Project)
        return QSortFilterProxyModel::lessThan(left, right);
    return projects.FigureBefore(left.row(), right.row(), left.column());
}

} // namespace kelvark
