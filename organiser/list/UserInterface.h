#pragma once

#include "Messages.h"

#include <atomic>
#include <string>

namespace kelvark {

// What the project list and the commands need from whoever shows them to the
// user: the window implements these with Qt, the command line on a terminal,
// the tests with recorders.

// The questions the commands ask, so that a front end without a user (the
// command line's options) can tell which it answers.
enum class Asked : unsigned char {
    Sort, // move the projects into their sets?
    DiscNames, // names a disc written for Windows can't keep: sort anyway?
    SortTheRest, // some projects can't be sorted: sort the others?
    ReportWithoutSome, // some projects fit on no disc: write the reports without them?
    MoveReadOnly, // read-only projects are copied: move the selection?
    Unsort, // move the files of the set folders back?
    Forget, // forget the journal of an operation that did not end?
    OfferChecksums, // after a sort: write the set folders' checksums now?
    ReplaceChecksums, // set folders hold checksums already: replace them?
    InsertBlank, // insert a blank disc for the next set into the drive, then go on?
};

// One question of a command: what it found, then the question itself.
struct Asking {
    Asked what;
    std::string title;
    std::string finding; // said before the question; may be empty
    std::string question;
    // Said instead of the question by a front end that answers Yes from its
    // options without asking; may be empty.
    std::string unasked;

    // The finding and the question, a blank line between them.
    std::string Text() const { return finding.empty() ? question : finding + LineEnd + LineEnd + question; }
};

// A question with Yes and No buttons, Yes the default. True for Yes.
class Question {
public:
    virtual ~Question() = default;
    // A command's question: the window and the tests ask its whole text; the
    // command line may answer it from its options.
    virtual bool Confirm(const Asking& asking) { return AskYesNo(asking.Text(), asking.title); }
    virtual bool AskYesNo(const std::string& text, const std::string& title) = 0;
};

// Progress of a loop over items, and its stop. Startup(n) prepares it for n
// items (with 0 it shows nothing and the next OK returns false); OK(k, name)
// is called before item k: it shows the item (Show) and returns false once a
// stop was requested (the window's Cancel or Esc, Ctrl-C, SIGTERM or SIGHUP on
// a terminal): the loop then stops before item k. While item k keeps a loop
// waiting, OK(k, name) is called again now and then. It hides itself when the
// last item (k == n - 1) is shown. Startup clears the stop of an earlier loop,
// unless the front end means it for every loop after it (Ctrl-C).
class Progress {
public:
    virtual ~Progress() = default;
    virtual void Hide() = 0;
    virtual void Startup(int amountToDo) = 0;
    virtual void Show(int amountDone, const std::string& text) = 0;

    // Hide, Startup, Show and OK are called on the loop's thread. The stop
    // request is a lock-free atomic flag: these three are safe from any
    // thread, and from a signal handler.
    void RequestStop() noexcept { stop = true; }
    bool StopRequested() const noexcept { return stop; }
    void ClearStop() noexcept { stop = false; }

    bool OK(int amountDone, const std::string& text)
    {
        Show(amountDone, text);
        return !StopRequested();
    }

private:
    static_assert(std::atomic<bool>::is_always_lock_free);
    std::atomic<bool> stop{false};
};

// The services one project list talks through.
struct UserInterface {
    Messages& messages;
    Progress& progress;
};

} // namespace kelvark
