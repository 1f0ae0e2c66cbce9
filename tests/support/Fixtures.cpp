#include "Fixtures.h"

#include "Commands.h"
#include "FolderOwners.h"
#include "Manifest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <random>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kelvark;

namespace fixtures {

TempDir::TempDir(const fs::path& base)
{
    std::random_device random;
    for (;;) {
        dir = base / ("kelvark-test-" + std::to_string(random()));
        if (fs::create_directory(dir))
            break;
    }
}

TempDir::~TempDir()
{
    std::error_code ignored;
    // Read-only files and folders must be writable again before they can go.
    for (auto it = fs::recursive_directory_iterator(dir, ignored); it != fs::recursive_directory_iterator();
         it.increment(ignored))
        if (!it->is_symlink(ignored))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(dir, ignored);
}

namespace {

// Every test program, and every program it starts, keeps its catalogue
// ($XDG_DATA_HOME/kelvark/) in a temporary folder, never in the user's. The
// folder goes when the test program ends, not when a child forked from it does.
struct TestDataHome {
    const pid_t owner = ::getpid();
    TempDir* folder = new TempDir();
    TestDataHome() { ::setenv("XDG_DATA_HOME", folder->path().c_str(), 1); }
    ~TestDataHome()
    {
        if (::getpid() == owner)
            delete folder;
    }
};
const TestDataHome DataHome;

} // namespace

void WriteFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write fixture " + path.string());
}

void AgeAccessTimes(const fs::path& folder)
{
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const timespec times[2] = {{OldAccess, 0}, {0, UTIME_OMIT}};
        ASSERT_EQ(::utimensat(AT_FDCWD, entry.path().c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << entry.path();
    }
}

std::int64_t AccessTime(const fs::path& file)
{
    struct stat status {};
    EXPECT_EQ(::stat(file.c_str(), &status), 0) << file;
    return status.st_atim.tv_sec;
}

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void MakeReadOnly(const fs::path& path)
{
    fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
}

std::string Le16(std::uint16_t v)
{
    return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}

std::string Le32(std::uint32_t v)
{
    return Le16(static_cast<std::uint16_t>(v & 0xFFFF)) + Le16(static_cast<std::uint16_t>(v >> 16));
}

std::string ChunkHeader(const std::string& id, std::uint32_t size)
{
    return id + Le32(size);
}

std::string FmtChunk(std::uint32_t rate, std::uint16_t bits, std::uint16_t channels)
{
    const std::uint16_t align = static_cast<std::uint16_t>(channels * ((bits + 7) / 8));
    return ChunkHeader("fmt ", 16) + Le16(1) + Le16(channels) + Le32(rate) + Le32(rate * align) + Le16(align)
           + Le16(bits);
}

std::string WaveHeader(std::uint32_t dataSize, std::uint32_t rate, std::uint16_t bits, std::uint32_t bextSize)
{
    const std::uint32_t riffSize = 4 + 24 + 8 + bextSize + 8 + dataSize;
    return ChunkHeader("RIFF", riffSize) + "WAVE" + FmtChunk(rate, bits) + ChunkHeader("bext", bextSize)
           + std::string(bextSize, '\0') + ChunkHeader("data", dataSize);
}

std::string CueText(const std::vector<std::vector<Region>>& tracks)
{
    std::string text = "Qlist {\n";
    int number = 1;
    for (const auto& regions : tracks) {
        text += "Track {\nTrack = " + std::to_string(number++) + "\n";
        for (const auto& region : regions)
            text += "Audio {\nFile = \"" + region.file + "\"\nOffset = " + std::to_string(region.offset)
                    + "\nLength = " + std::to_string(region.length) + "\n}\n";
        text += "}\n";
    }
    return text + "}\n";
}

void WriteProject(const fs::path& folder, const std::string& name, const std::vector<FixtureWave>& waves)
{
    std::vector<Region> regions;
    for (const auto& wave : waves) {
        WriteFile(folder / wave.file, WaveHeader(wave.dataSize));
        // The wave reader counts the 12 bytes after the bext chunk as samples too.
        regions.push_back({wave.file, 0, (static_cast<std::int64_t>(wave.dataSize) + 12) / 2});
    }
    WriteFile(folder / (name + ".cue"), CueText({regions}));
}

std::int64_t DeclaredSize(std::uint32_t dataSize)
{
    return static_cast<std::int64_t>(WaveHeader(0).size()) + dataSize;
}

void GiveOwnFiles(orvoProject& project)
{
    project.ReadFailure.clear();
    FolderOwners owners;
    EXPECT_FALSE(owners.Build(std::make_shared<const FolderListing>(project.ReadDir), {&project}, {}).Failed());
}

std::vector<std::string> EntryNames(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string AnySorts(const fs::path& file, std::string bytes)
{
    const std::string name = file.filename().string();
    if (name == ManifestName) {
        const std::string line = "  " + DiscLabelName + "\n";
        if (const std::size_t at = bytes.find(line); at != std::string::npos && at >= 64)
            bytes.replace(at - 64, 64, 64, 'x');
        return bytes;
    }
    if (name != DiscLabelName)
        return bytes;
    if (const std::size_t id = bytes.find("\nDisc id: "); id != std::string::npos)
        bytes.erase(id + 1, bytes.find('\n', id + 1) - id);
    const std::size_t place = bytes.find("of the backup sort of ");
    const std::size_t time = place == std::string::npos ? place : place + 32;
    if (time + 6 <= bytes.size() && bytes[time] == ' ' && bytes[time + 3] == ':')
        bytes.erase(time, 6);
    return bytes;
}

std::map<std::string, std::string> Snapshot(const fs::path& root)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file() && !entry.is_symlink())
            files[fs::relative(entry.path(), root).string()] = AnySorts(entry.path(), ReadFile(entry.path()));
    return files;
}

void ExpectNothingLost(const std::map<std::string, std::string>& before, const fs::path& root)
{
    // The contents found under each file name, wherever the file now lies.
    std::multimap<std::string, std::string> byName;
    for (auto& [path, content] : Snapshot(root))
        byName.emplace(fs::path(path).filename().string(), std::move(content));
    for (const auto& [path, content] : before) {
        const auto [first, last] = byName.equal_range(fs::path(path).filename().string());
        int found = 0;
        for (auto it = first; it != last; ++it)
            found += it->second == content ? 1 : 0;
        EXPECT_EQ(found, 1) << path << " should exist exactly once with its content";
    }
}

FileSizeLimit::FileSizeLimit(std::uint64_t bytes)
{
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    savedLimit = limit.rlim_cur;
    // Without a handler the signal would end the test instead of failing the write.
    savedHandler = std::signal(SIGXFSZ, SIG_IGN);
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit()
{
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = savedLimit;
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, savedHandler);
}

bool ScriptedQuestion::Confirm(const Asking& asking)
{
    asked.push_back(asking.what);
    return AskYesNo(asking.Text(), asking.title);
}

bool ScriptedQuestion::AskYesNo(const std::string&, const std::string&)
{
    if (answers.empty())
        return true;
    const bool answer = answers.front();
    answers.erase(answers.begin());
    return answer;
}

void RecordingProgress::Startup(int amountToDo)
{
    calls.push_back("Startup " + std::to_string(amountToDo));
    if (amountToDo == 0)
        RequestStop();
    else
        ClearStop();
}

void RecordingProgress::Show(int amountDone, const std::string& text)
{
    // A read asks again, for the project it waits for, as long as it waits:
    // a question repeated is one call.
    std::string call = "OK " + std::to_string(amountDone) + " " + text;
    if (!calls.empty() && calls.back() == call)
        return;
    calls.push_back(std::move(call));
    if (okCalls++ == cancelAtCall)
        RequestStop();
}

void FakeGrid::Fill(const orvoProjectList& list)
{
    rows.clear();
    for (GridRow& texts : list.FillGrid())
        rows.push_back({std::move(texts), false});
}

std::vector<orvoProject*> FakeGrid::Selection(const orvoProjectList& list) const
{
    std::vector<orvoProject*> selected;
    for (std::size_t r = 0; r < rows.size(); ++r)
        if (rows[r].selected)
            selected.push_back(list.projects.Item(static_cast<int>(r)).get());
    return selected;
}

Studio::Studio()
{
    list.regional.today = [] {
        return std::chrono::year_month_day{std::chrono::year{2026}, std::chrono::December, std::chrono::day{7}};
    };
    list.regional.timeOfDay = [] { return std::string("13:05"); };
}

void Studio::Select(std::initializer_list<int> rows)
{
    for (const int r : rows)
        grid.Select(r);
}

std::vector<std::string> Studio::Names() const
{
    std::vector<std::string> names;
    for (const auto& project : list.projects)
        names.push_back(project->Name);
    return names;
}

std::vector<std::string> Studio::Rows() const
{
    std::vector<std::string> rows;
    for (const auto& row : grid.rows)
        rows.push_back(row.texts[0] + (row.selected ? "*" : ""));
    return rows;
}

bool ShowResult(Messages& messages, const Result& result)
{
    if (const std::string text = result.Told(); !text.empty())
        messages.Show(text);
    return result.Failed();
}

void FakeUi::AnswerSort(const orvoProjectList& list, bool leaveUnsortable)
{
    question.answers = {true};
    if (!DiscNamesWarning(list).empty())
        question.answers.push_back(true);
    question.answers.push_back(leaveUnsortable);
}

bool Studio::Sort(bool leaveUnsortable)
{
    ui.AnswerSort(list, leaveUnsortable);
    const Result result = SortCommand(list, root.str(), ui.commands());
    ui.question.answers.clear(); // those of questions it did not ask
    return result.Failed();
}

bool Studio::Read(bool forCD)
{
    const bool failed = list.ReadFolder(root.str(), true, true);
    PlanCommand(list, forCD ? CDMedium() : DVDMedium());
    grid.Fill(list);
    return failed;
}

} // namespace fixtures

std::vector<orvoProject*> fixtures::Studio::Selected() const
{
    return grid.Selection(list);
}
