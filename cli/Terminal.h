#pragma once

#include "Regional.h"
#include "UserInterface.h"
#include "orvoProjectList.h"

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace kelvark {

// The core's user-interface contract on a terminal. Standard output carries
// only what a command produces (the grid of `list`); everything the window
// would show in a box, the questions and the progress bar go to stderr.

// A progress bar on stderr, drawn only when stderr is a terminal. Ctrl-C is the
// terminal's Cancel button: from the first Ctrl-C on, the stop is requested
// and stays so for every loop after it (a second one ends the program at
// once). The signal requests the stop of the progress made last.
class TerminalProgress final : public Progress {
public:
    explicit TerminalProgress(bool draw);
    ~TerminalProgress() override;
    TerminalProgress(const TerminalProgress&) = delete;
    TerminalProgress& operator=(const TerminalProgress&) = delete;
    void Hide() override;
    void Startup(int amountToDo) override;
    void Show(int amountDone, const std::string& text) override;

    // True once the user pressed Ctrl-C.
    static bool Cancelled();
    // Makes the first Ctrl-C, SIGTERM or SIGHUP a cancel request instead of the
    // end of the program.
    static void CatchInterrupt();

private:
    bool draw;
    bool shown = false;
    int amount = 0;
    std::string lastText;
};

// Messages as text on stderr, each ending with a line feed; the core's CR LF
// line ends become plain line feeds and every other control character an
// escape (Escaped). A progress bar on the line is cleared first. Unless all,
// a message shows its first ShownLines lines and then how many more it has,
// and a read shows its first ShownLines notices and then how many more it met.
class TerminalMessages final : public Messages {
public:
    static constexpr std::size_t ShownLines = 100;

    TerminalMessages(TerminalProgress& progress, bool all) : progress(progress), all(all) {}
    void Show(const std::string& text) override;
    void Notice(const std::string& text) override;
    // Says how many notices were held back since the last call, if any.
    void EndNotices();

private:
    TerminalProgress& progress;
    bool all;
    std::size_t notices = 0;
    std::size_t heldBack = 0;
};

// The question on stderr with a "[y/N]" prompt; the answer is a line of
// standard input, and only "y" or "yes" (any letter case) mean Yes.
class TerminalQuestion final : public Question {
public:
    bool AskYesNo(const std::string& text, const std::string& title) override;
};

// The options that answer the commands' questions on the command line.
struct AnswerOptions {
    bool yes = false; // sort, unsort, forget or write the next disc without asking
    bool skipUnsortable = false; // sort the rest, leaving what can't be sorted
    bool replace = false; // replace the checksums set folders hold
};

// The command line's answers to the commands' questions: each is given by an
// option, or asked on the terminal; a blank disc inserted is answered by
// Enter, No by the end of the input or Ctrl-C. An answer Yes given by an option says
// what the question would have told.
class OptionAnswers final : public Question {
public:
    OptionAnswers(AnswerOptions options, Messages& messages) : options(options), messages(messages) {}
    bool Confirm(const Asking& asking) override;
    bool AskYesNo(const std::string& text, const std::string& title) override;

    // The checksums a set folder holds were kept: --replace would replace them.
    bool declinedReplace = false;

private:
    AnswerOptions options;
    Messages& messages;
};

// Bytes as a terminal may show them: as UTF-8 (ShownText), with each control
// character written as a C escape, so no name can move the cursor, change the
// colours or break a line: \0, \t, \n, \r, and \xHH for the rest of C0, for
// DEL and for the C1 controls U+0080 to U+009F (\x80 to \x9f).
std::string Escaped(std::string_view bytes);

// Lines of cells, the first the header line.
using TextRows = std::vector<std::vector<std::string>>;
// Tab-separated lines, each field written as WriteGridTsv writes it.
std::string TsvText(const TextRows& rows);
// An aligned table for people: cells Escaped, two blanks between columns,
// each column to the right or to the left as rightAligned says.
std::string TableText(const TextRows& rows, const std::vector<bool>& rightAligned);

// Writes the rows to out as tab-separated lines under the column headers.
// Fields are shown as UTF-8 and escape backslash, tab, line feed and carriage
// return as \\, \t, \n and \r, so every row is one line of six fields.
void WriteGridTsv(const std::vector<GridRow>& rows, std::FILE* out);
// The rows as an aligned table for people, followed by the project count;
// their texts are Escaped.
std::string GridTable(const std::vector<GridRow>& rows);

// The decimal and date separators of the user's locale (LC_NUMERIC, LC_TIME);
// "." and "/" when the locale cannot be loaded.
Regional LocaleRegional();

} // namespace kelvark
