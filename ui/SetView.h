#pragma once

#include "orvoProjectList.h"

#include <QWidget>

class QLabel;
class QTreeWidget;

namespace kelvark {

// The plan by set: its summary (PlanSummary) above a tree with one row per
// set, "DVD-A", what its files cost against the disc's budget, "4,512.3 MB of
// 4,600.0 MB", and its count of projects, with the set's projects under it in
// list order; the projects in no set under a last row, "Not in a set", each
// with why as its tooltip.
class SetView final : public QWidget {
    Q_OBJECT
public:
    explicit SetView(QWidget* parent = nullptr);

    // Shows the plan of list instead of the one shown. Reads list: call it
    // when no command works on it.
    void Show(const orvoProjectList& list);

    QLabel* lblSummary = nullptr;
    QTreeWidget* lstSets = nullptr;
};

} // namespace kelvark
