#include "Journal.h"

#include "FileOps.h"

#include <charconv>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr const char* Version = "kelvark-journal 1";

std::uint32_t Checksum(const std::string& text)
{
    std::uint32_t sum = 2166136261u; // FNV-1a
    for (const unsigned char c : text)
        sum = (sum ^ c) * 16777619u;
    return sum;
}

std::string Escape(const std::string& field)
{
    std::string out;
    for (const char c : field) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default: out += c;
        }
    }
    return out;
}

std::vector<std::string> Fields(const std::string& line)
{
    std::vector<std::string> fields(1);
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\t') {
            fields.emplace_back();
        } else if (c == '\\' && i + 1 < line.size()) {
            const char e = line[++i];
            fields.back() += e == 'n' ? '\n' : e == 'r' ? '\r' : e == 't' ? '\t' : e;
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

std::string Line(const std::vector<std::string>& fields)
{
    std::string line;
    for (const auto& field : fields)
        line += (line.empty() ? "" : "\t") + Escape(field);
    char sum[16];
    std::snprintf(sum, sizeof sum, "\t%08x\n", Checksum(line));
    return line + sum;
}

void SyncFolder(const std::string& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

const char* KindWord(Journal::Kind kind)
{
    switch (kind) {
    case Journal::Kind::Sort: return "sort";
    case Journal::Kind::Move: return "move";
    case Journal::Kind::Rename: return "rename";
    case Journal::Kind::Unsort: return "unsort";
    }
    return "";
}

// A whole number written by the journal; false for anything else.
bool Number(const std::string& text, std::size_t& n)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
    return error == std::errc() && end == text.data() + text.size();
}

// 1234567 as "1,234,567".
std::string Count(std::size_t n)
{
    const std::string digits = std::to_string(n);
    std::string grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            grouped += ',';
        grouped += digits[i];
    }
    return grouped;
}

// What the file system holds of one step: its source, its destination, and
// whether both are names of one file (a hard-link move cut short).
struct State {
    bool from = false;
    bool to = false;
    bool same = false;
};

State Look(const FileStep& step)
{
    struct stat a {}, b {};
    State state;
    state.from = ::lstat(step.from.c_str(), &a) == 0;
    state.to = ::lstat(step.to.c_str(), &b) == 0;
    state.same = state.from && state.to && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
    return state;
}

// Moves a file, by a copy and the removal of the source when from and to are
// on different file systems.
std::error_code MoveAcross(const std::string& from, const std::string& to)
{
    std::error_code error = MoveNoReplace(from, to);
    if (error == std::errc::cross_device_link) {
        error = CopyNoReplace(from, to);
        if (!error)
            error = RemoveFile(from);
    }
    return error;
}

// Removes the hidden temporary files of copies that a stop cut short.
void RemoveCopyLeftovers(const std::set<std::string>& folders)
{
    static const std::regex temp(R"(\.kelvark-[0-9]+-[0-9]+\.tmp)");
    for (const auto& folder : folders) {
        std::error_code error;
        for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
            if (std::regex_match(it->path().filename().string(), temp))
                RemoveFile(it->path());
    }
}

std::string Failed(const std::string& what, const std::string& file, const std::error_code& error)
{
    return "Can't " + what + " \"" + file + "\": " + Describe(error);
}

} // namespace

Journal::~Journal()
{
    if (writing)
        End();
    else if (fd >= 0)
        ::close(fd);
}

std::string Journal::Path() const
{
    return root + FileName;
}

std::string Journal::Relative(const std::string& path) const
{
    // Names in the root folder and its set folders are written without the
    // root: a sort's plan is then a third of the size.
    return path.starts_with(root) ? path.substr(root.size()) : path;
}

std::string Journal::Full(const std::string& field) const
{
    return !field.empty() && field[0] == '/' ? field : root + field;
}

std::string Journal::Begin(Kind kind, const std::string& root, const FilePlan& plan)
{
    this->kind = kind;
    this->root = root;
    std::string text = Line({Version});
    text += Line({"kind", KindWord(kind)});
    text += Line({"root", root});
    for (const auto& folder : plan.folders)
        text += Line({"folder", folder});
    for (const auto& unit : plan.units) {
        text += Line({"unit", std::to_string(unit.projects.size())});
        for (const auto& step : unit.steps)
            text += Line({step.copy ? "copy" : "move", Relative(step.from), Relative(step.to)});
    }
    text += Line({"end"});
    folders = plan.folders;
    units.clear();
    for (const auto& unit : plan.units)
        units.push_back({unit.projects.size(), unit.steps});
    fd = ::open(Path().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
    writing = true;
    std::error_code error;
    if (fd < 0)
        error = {errno, std::generic_category()};
    for (std::size_t written = 0; !error && written < text.size();) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno != EINTR)
            error = {errno, std::generic_category()};
        else if (n > 0)
            written += static_cast<std::size_t>(n);
    }
    if (!error && ::fsync(fd) != 0)
        error = {errno, std::generic_category()};
    if (error) {
        if (fd >= 0)
            End();
        return "Can't write the journal \"" + Path() + "\": " + ::Describe(error);
    }
    SyncFolder(root);
    return {};
}

void Journal::Append(const std::string& line, bool flush)
{
    if (fd < 0)
        return;
    if (::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size()) && flush)
        ::fsync(fd);
}

void Journal::Done(std::size_t k)
{
    units[k].done = true;
    // Not flushed: recover reads the state of every step from the file system,
    // and a "done" line lost in a power cut only lowers the count it reports.
    // The line reaches the file at once, so a killed program loses none.
    Append(Line({"done", std::to_string(k)}), false);
}

void Journal::Across(std::size_t k)
{
    units[k].across = true;
    Append(Line({"across", std::to_string(k)}), true);
}

void Journal::End()
{
    Keep();
    RemoveFile(Path());
    SyncFolder(root);
}

void Journal::Keep()
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
    writing = false;
}

bool Journal::Read(const std::string& folder)
{
    root = folder;
    folders.clear();
    units.clear();
    std::ifstream in(Path(), std::ios::binary);
    if (!in)
        return false;
    std::string line;
    bool first = true, whole = false;
    while (std::getline(in, line)) {
        if (in.eof())
            break; // a last line without its line feed is torn
        const auto tab = line.rfind('\t');
        if (tab == std::string::npos)
            break;
        char sum[16];
        std::snprintf(sum, sizeof sum, "%08x", Checksum(line.substr(0, tab)));
        if (line.substr(tab + 1) != sum)
            break;
        line.resize(tab);
        if (first) {
            if (line != Version)
                break;
            first = false;
            continue;
        }
        const std::vector<std::string> f = Fields(line);
        const std::string& word = f[0];
        if (!whole) {
            if (word == "kind" && f.size() == 2)
                kind = f[1] == "move" ? Kind::Move : f[1] == "rename" ? Kind::Rename
                     : f[1] == "unsort" ? Kind::Unsort : Kind::Sort;
            else if (word == "root" && f.size() == 2)
                root = f[1];
            else if (word == "folder" && f.size() == 2)
                folders.push_back(f[1]);
            else if (std::size_t projects = 0; word == "unit" && f.size() == 2 && Number(f[1], projects))
                units.push_back({projects, {}});
            else if ((word == "move" || word == "copy") && f.size() == 3 && !units.empty())
                units.back().steps.push_back({Full(f[1]), Full(f[2]), word == "copy"});
            else if (word == "end")
                whole = true;
            else
                break;
        } else if ((word == "done" || word == "across") && f.size() == 2) {
            std::size_t k = 0;
            if (!Number(f[1], k) || k >= units.size())
                break;
            (word == "done" ? units[k].done : units[k].across) = true;
        } else {
            break;
        }
    }
    root = folder; // the folder may have been renamed or reached another way
    if (whole)
        fd = ::open(Path().c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    else
        RemoveFile(Path()); // cut short before any file was touched: nothing to recover
    return whole;
}

std::string Journal::Describe() const
{
    static const char* const names[] = {"backup sort", "move", "rename", "undo of the backup sort"};
    // An undo of a sort goes folder by folder; the others project by project.
    std::size_t done = 0, all = 0;
    for (const auto& unit : units) {
        const std::size_t size = kind == Kind::Unsort ? 1 : unit.projects;
        all += size;
        if (unit.done)
            done += size;
    }
    return std::string("The ") + names[static_cast<int>(kind)] + " of " + root + " stopped after " + Count(done)
           + " of " + Count(all) + (kind == Kind::Unsort ? " folders." : " projects.");
}

std::string Journal::Finish()
{
    std::string refusals;
    const auto refuse = [&](const std::string& text) { refusals += (refusals.empty() ? "" : "\r\n") + text; };
    std::vector<std::vector<State>> states;
    for (const auto& unit : units) {
        states.emplace_back();
        for (const auto& step : unit.steps) {
            const State s = Look(step);
            states.back().push_back(s);
            if (!s.from && !s.to)
                refuse("Missing: \"" + step.from + "\" and \"" + step.to + "\"");
            else if (s.from && s.to && !s.same && !step.copy && !unit.across)
                refuse("Already taken: \"" + step.to + "\"");
        }
    }
    if (!refusals.empty())
        return "Can't finish: nothing was changed.\r\n" + refusals;

    std::set<std::string> made;
    for (const auto& folder : folders) {
        std::error_code error;
        fs::create_directory(folder, error);
    }
    for (std::size_t k = 0; k < units.size(); ++k) {
        Unit& unit = units[k];
        std::vector<std::string> sources; // removed once the unit's files are all copied
        for (std::size_t i = 0; i < unit.steps.size(); ++i) {
            const FileStep& step = unit.steps[i];
            const State& s = states[k][i];
            made.insert(fs::path(step.to).parent_path().string());
            std::error_code error;
            if (s.to && !s.from)
                continue;
            if (s.to && s.same)
                error = RemoveFile(step.from); // a hard-link move cut short
            else if (s.to && unit.across && !step.copy)
                sources.push_back(step.from);
            else if (!s.to && step.copy)
                error = CopyNoReplace(step.from, step.to);
            else if (!s.to) {
                error = MoveNoReplace(step.from, step.to);
                if (error == std::errc::cross_device_link) {
                    if (!unit.across)
                        Across(k);
                    unit.across = true;
                    error = CopyNoReplace(step.from, step.to);
                    sources.push_back(step.from);
                }
            }
            if (error) {
                Keep();
                return Failed("finish with", step.from, error);
            }
        }
        for (const auto& source : sources)
            if (const std::error_code error = RemoveFile(source)) {
                Keep();
                return Failed("remove", source, error);
            }
    }
    RemoveCopyLeftovers(made);
    End();
    // A finished undo of a sort leaves its set folders empty: they go, as they would have.
    if (kind == Kind::Unsort)
        for (const auto& unit : units)
            if (!unit.steps.empty()) {
                std::error_code error;
                fs::remove(fs::path(unit.steps.front().from).parent_path(), error);
            }
    return {};
}

std::string Journal::Undo()
{
    std::string refusals;
    for (const auto& unit : units)
        for (const auto& step : unit.steps)
            if (const State s = Look(step); !s.from && !s.to)
                refusals += "\r\nMissing: \"" + step.from + "\" and \"" + step.to + "\"";
    if (!refusals.empty())
        return "Can't undo: nothing was changed." + refusals;

    std::set<std::string> touched;
    for (std::size_t k = units.size(); k-- > 0;) {
        const Unit& unit = units[k];
        for (std::size_t i = unit.steps.size(); i-- > 0;) {
            const FileStep& step = unit.steps[i];
            touched.insert(fs::path(step.to).parent_path().string());
            const State s = Look(step);
            std::error_code error;
            if (s.to && !s.from) {
                // The folder it came from may have gone (an undo of a sort removes its emptied folders).
                fs::create_directory(fs::path(step.from).parent_path(), error);
                error = MoveAcross(step.to, step.from);
            }
            else if (s.to && (s.same || step.copy || unit.across))
                error = RemoveFile(step.to); // the copy, or the second name of a hard-link move
            if (error) {
                Keep();
                return Failed("put back", step.to, error);
            }
        }
    }
    RemoveCopyLeftovers(touched);
    for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder) {
        std::error_code error;
        fs::remove(*folder, error); // only when empty
    }
    End();
    return {};
}
