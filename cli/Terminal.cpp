#include "Terminal.h"

#include "TextCodec.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <langinfo.h>
#include <locale.h>
#include <string_view>
#include <utility>

namespace kelvark {

namespace {

volatile std::sig_atomic_t interrupted = 0;
// The progress whose stop Ctrl-C requests.
std::atomic<Progress*> interruptible{nullptr};
static_assert(std::atomic<Progress*>::is_always_lock_free);

void OnInterrupt(int)
{
    interrupted = 1;
    if (Progress* progress = interruptible.load())
        progress->RequestStop();
}

// Characters on screen: UTF-8 continuation bytes take no column of their own.
std::size_t Width(std::string_view text)
{
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// At most limit characters of text, never cutting a UTF-8 sequence.
std::string_view Shorten(std::string_view text, std::size_t limit)
{
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size(); ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && chars++ == limit)
            return text.substr(0, i);
    return text;
}

constexpr std::array<const char*, 6> Headers = {"Project", "Size", "Tracks", "Wavs", "BU", "Used"};

void Write(std::string_view text)
{
    std::fwrite(text.data(), 1, text.size(), stderr);
}

// The core's lines, each Escaped, joined by line feeds.
std::string Lines(std::string_view text)
{
    std::string lines;
    for (;;) {
        const auto end = text.find(LineEnd);
        lines += Escaped(text.substr(0, end));
        if (end == std::string_view::npos)
            return lines;
        lines += '\n';
        text.remove_prefix(end + 2);
    }
}

std::string HexEscape(unsigned char c)
{
    constexpr std::string_view digits = "0123456789abcdef";
    return {'\\', 'x', digits[c >> 4], digits[c & 0xF]};
}

// The escapes of the characters that end a line or a field.
std::string_view LineEscape(char c)
{
    switch (c) {
    case '\t': return "\\t";
    case '\n': return "\\n";
    case '\r': return "\\r";
    default: return {};
    }
}

// A field of the tab-separated output: one line, one field.
std::string TsvField(std::string_view bytes)
{
    std::string out;
    for (const char c : ShownText(bytes)) {
        if (c == '\\')
            out += "\\\\";
        else if (const std::string_view escape = LineEscape(c); !escape.empty())
            out += escape;
        else
            out += c;
    }
    return out;
}

} // namespace

TerminalProgress::TerminalProgress(bool draw) : draw(draw)
{
    RequestStop(); // nothing runs before the first Startup
    interruptible = this;
}

TerminalProgress::~TerminalProgress()
{
    Progress* self = this;
    interruptible.compare_exchange_strong(self, nullptr);
}

void TerminalProgress::CatchInterrupt()
{
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    action.sa_flags = SA_RESETHAND; // the second Ctrl-C takes the default way out
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    // A closed terminal and a shutdown stop the command as Ctrl-C does.
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

bool TerminalProgress::Cancelled()
{
    return interrupted != 0;
}

void TerminalProgress::Hide()
{
    if (shown)
        std::fputs("\r\033[K", stderr);
    shown = false;
}

void TerminalProgress::Startup(int amountToDo)
{
    amount = amountToDo;
    ClearStop();
    // Read after the clear, so that a Ctrl-C that comes meanwhile counts.
    if (amountToDo == 0 || Cancelled())
        RequestStop();
}

void TerminalProgress::Show(int amountDone, const std::string& text)
{
    const int position = amountDone + 1;
    if (!text.empty())
        lastText = text;
    const bool keepGoing = !StopRequested();
    if (draw && keepGoing && amount > 0) {
        constexpr int barWidth = 24;
        const int filled = static_cast<int>(std::int64_t{barWidth} * std::clamp(position, 0, amount) / amount);
        const std::string line = "\r\033[K[" + std::string(static_cast<std::size_t>(filled), '#')
                                 + std::string(static_cast<std::size_t>(barWidth - filled), ' ') + "] "
                                 + std::to_string(position) + "/" + std::to_string(amount) + " "
                                 + std::string(Shorten(Escaped(lastText), 40));
        Write(line);
        shown = true;
    }
    if (position == amount || !keepGoing)
        Hide();
}

void TerminalMessages::Show(const std::string& text)
{
    progress.Hide();
    std::string_view shown = text;
    std::size_t lines = 0;
    std::size_t cut = std::string_view::npos;
    for (std::size_t at = shown.find(LineEnd); at != std::string_view::npos; at = shown.find(LineEnd, at + 2))
        if (++lines == ShownLines)
            cut = at;
    if (all || cut == std::string_view::npos) {
        Write(Lines(text) + '\n');
        return;
    }
    Write(Lines(shown.substr(0, cut)) + "\n… and " + std::to_string(lines + 1 - ShownLines) + " more (see --all)\n");
}

void TerminalMessages::Notice(const std::string& text)
{
    if (all || ++notices <= ShownLines)
        Show(text);
    else
        ++heldBack;
}

void TerminalMessages::EndNotices()
{
    if (heldBack > 0)
        Show("… and " + std::to_string(heldBack) + (heldBack == 1 ? " more notice" : " more notices") + " (see --all)");
    notices = heldBack = 0;
}

namespace {

// Waits for a line of standard input after prompt: false at its end, or when
// Ctrl-C ended the wait.
bool EnterPressed(const std::string& prompt)
{
    Write(Lines(prompt) + " ");
    std::string line;
    const bool entered = static_cast<bool>(std::getline(std::cin, line));
    if (!entered)
        std::fputs("\n", stderr);
    return entered && !TerminalProgress::Cancelled();
}

} // namespace

bool TerminalQuestion::AskYesNo(const std::string& text, const std::string&)
{
    Write(Lines(text) + " [y/N] ");
    std::string answer;
    if (!std::getline(std::cin, answer))
        std::fputs("\n", stderr);
    std::transform(answer.begin(), answer.end(), answer.begin(), [](unsigned char c) { return std::tolower(c); });
    while (!answer.empty() && std::isspace(static_cast<unsigned char>(answer.back())))
        answer.pop_back();
    return answer == "y" || answer == "yes";
}

bool OptionAnswers::Confirm(const Asking& asking)
{
    bool answer = false;
    switch (asking.what) {
    case Asked::Sort:
    case Asked::DiscNames:
    case Asked::Unsort:
    case Asked::Forget:
        if (!options.yes) {
            if (!asking.finding.empty())
                messages.Show(asking.finding);
            return AskYesNo(asking.question, asking.title);
        }
        answer = true;
        break;
    case Asked::InsertBlank:
        if (!options.yes) {
            if (!asking.finding.empty())
                messages.Show(asking.finding);
            return EnterPressed(asking.question);
        }
        answer = true;
        break;
    case Asked::SortTheRest: answer = options.skipUnsortable; break;
    case Asked::ReplaceChecksums:
        answer = options.replace;
        declinedReplace = !answer;
        break;
    case Asked::ReportWithoutSome: // report asks nothing: it is for scripts
    case Asked::MoveReadOnly: answer = true; break;
    case Asked::OfferChecksums: break; // no command here offers them
    }
    if (answer && !asking.unasked.empty())
        messages.Show(asking.unasked);
    return answer;
}

bool OptionAnswers::AskYesNo(const std::string& text, const std::string& title)
{
    return TerminalQuestion().AskYesNo(text, title);
}

std::string Escaped(std::string_view bytes)
{
    const std::string text = ShownText(bytes);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
            // U+0080 to U+009F, the C1 controls: 0xC2 and the code point's own byte.
            out += HexEscape(static_cast<unsigned char>(text[++i]));
        } else if (c == '\0') {
            out += "\\0";
        } else if (const std::string_view escape = LineEscape(text[i]); !escape.empty()) {
            out += escape;
        } else if (c < 0x20 || c == 0x7F) {
            out += HexEscape(c);
        } else {
            out += text[i];
        }
    }
    return out;
}

namespace {

// Appends one tab-separated line of cells to out.
template <typename Cells> void AddTsvLine(std::string& out, const Cells& cells)
{
    for (std::size_t c = 0; c < cells.size(); ++c) {
        out += TsvField(cells[c]);
        out += c + 1 < cells.size() ? '\t' : '\n';
    }
}

} // namespace

std::string TsvText(const TextRows& rows)
{
    std::string out;
    for (const auto& cells : rows)
        AddTsvLine(out, cells);
    return out;
}

std::string TableText(const TextRows& rows, const std::vector<bool>& rightAligned)
{
    TextRows shown;
    for (const auto& row : rows) {
        auto& texts = shown.emplace_back(row.size());
        std::transform(row.begin(), row.end(), texts.begin(), Escaped);
    }
    std::vector<std::size_t> widths(rightAligned.size());
    for (std::size_t c = 0; c < widths.size(); ++c)
        for (const auto& row : shown)
            widths[c] = std::max(widths[c], Width(row[c]));
    std::string out;
    for (const auto& cells : shown) {
        std::string text;
        for (std::size_t c = 0; c < cells.size(); ++c) {
            const std::string& cell = cells[c];
            const std::string pad(widths[c] - Width(cell), ' ');
            text += rightAligned[c] ? pad + cell : cell + pad;
            if (c + 1 < cells.size())
                text += "  ";
        }
        while (!text.empty() && text.back() == ' ')
            text.pop_back();
        out += text + '\n';
    }
    return out;
}

void WriteGridTsv(const std::vector<GridRow>& rows, std::FILE* out)
{
    // Line by line: the rows of thousands of projects are not held as one
    // text first.
    std::string line;
    const auto write = [&](const auto& cells) {
        line.clear();
        AddTsvLine(line, cells);
        std::fwrite(line.data(), 1, line.size(), out);
    };
    write(Headers);
    for (const GridRow& row : rows)
        write(row);
}

std::string GridTable(const std::vector<GridRow>& rows)
{
    TextRows texts{{Headers.begin(), Headers.end()}};
    for (const GridRow& row : rows)
        texts.emplace_back(row.begin(), row.end());
    // Names and set letters read from the left, numbers from the right.
    const std::size_t count = rows.size();
    return TableText(texts, {false, true, true, true, false, true}) + std::to_string(count)
           + (count == 1 ? " project\n" : " projects\n");
}

Regional LocaleRegional()
{
    Regional regional;
    locale_t locale = newlocale(LC_NUMERIC_MASK | LC_TIME_MASK, "", locale_t{});
    if (locale == locale_t{})
        return regional;
    if (const std::string_view radix = nl_langinfo_l(RADIXCHAR, locale); !radix.empty())
        regional.decimalSeparator = radix;
    if (const std::string_view group = nl_langinfo_l(THOUSEP, locale); !group.empty())
        regional.groupSeparator = group;
    // The separator is what stands between the first two fields of the short
    // date format, "/" in "%m/%d/%y".
    const std::string_view format = nl_langinfo_l(D_FMT, locale);
    if (const auto first = format.find('%'); first != std::string_view::npos && first + 2 < format.size()) {
        const auto second = format.find('%', first + 2);
        if (second != std::string_view::npos && second > first + 2)
            regional.dateSeparator = format.substr(first + 2, second - first - 2);
    }
    freelocale(locale);
    return regional;
}

} // namespace kelvark
