#pragma once

#include "FilePlan.h"
#include "Result.h"
#include "UserInterface.h"

#include <functional>
#include <string>

namespace kelvark {

class Journal;

// Runs plan under its journal, one unit after the other, telling progress
// before each and stopping between two when it says so, or when the journal
// could not record the last (Stopped: the journal stays). A plan read back
// from a journal is checked whole against the file system first: a
// destination taken by another file, a missing file, or a source that changed
// refuses it, and nothing is changed. A unit that fails is taken back whole,
// newest step first; what could not be taken back is said, and the journal
// then stays (Failed). What goes wrong is shown through messages as it happens.
Result RunPlan(FilePlan& plan, Journal& journal, Progress& progress, Messages& messages);

// Runs, when set, in a unit that moves across file systems once its copies
// are made, before its sources are looked at and removed: a test changes a
// source there, as a program saving it at that moment would.
extern std::function<void()> AfterCopiesAcross;

// Removes the temporaries that a stopped run left in plan's folders: its
// root, its set folders and a move's destination.
void RemoveLeftoverTemps(const FilePlan& plan);

// Whether a plan read back from a journal can run: refused, "Can't finish:
// nothing was changed." (or "Can't undo") and a line per step that stops it,
// when it can't.
Result CheckPlan(const FilePlan& plan);
// True when the file system shows every step of unit k of plan (read back)
// done, whether or not its journal says so: a run stops when its record of
// a unit could not be written, after the unit's files moved.
bool UnitDone(const FilePlan& plan, std::size_t k);
// Which projects the file system holds split, some of their files moved and
// others not: "These projects are split: A, B." or "No project is split."
std::string SplitProjects(const FilePlan& plan);

} // namespace kelvark
