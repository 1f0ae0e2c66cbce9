#pragma once

#include "Commands.h"
#include "UserInterface.h"
#include "orvoProjectList.h"

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

using namespace kelvark;

// Fixtures the tests write themselves: temporary folders, project files, wave
// headers, and recording fakes of the user-interface contract.
namespace fixtures {

namespace fs = std::filesystem;

// A fresh folder under base (the system's temporary folder by default),
// removed with everything in it at the end of the test.
class TempDir final {
public:
    explicit TempDir(const fs::path& base = fs::temp_directory_path());
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const fs::path& path() const { return dir; }
    // The folder as the system keeps folder strings: with a trailing separator.
    std::string str() const { return dir.string() + "/"; }

private:
    fs::path dir;
};

void WriteFile(const fs::path& path, const std::string& bytes);
std::string ReadFile(const fs::path& path);
// Sets the last access of every file of folder to OldAccess, long before
// their last change: a read that marks a file read then sets it to now.
void AgeAccessTimes(const fs::path& folder);
constexpr std::int64_t OldAccess = 946684800; // 2000-01-01, in seconds
// A file's last access, in seconds.
std::int64_t AccessTime(const fs::path& file);
void MakeReadOnly(const fs::path& path);

// RIFF building blocks, little-endian.
std::string Le16(std::uint16_t v);
std::string Le32(std::uint32_t v);
std::string ChunkHeader(const std::string& id, std::uint32_t size);
std::string FmtChunk(std::uint32_t rate, std::uint16_t bits, std::uint16_t channels = 1);
// RIFF header, 16-byte fmt chunk and a bext chunk of bextSize, declaring a data
// chunk of dataSize bytes that is not written: a tiny file whose header
// declares a realistic size. The declared length is 4 + 24 + 8 + bextSize + 8 + dataSize.
std::string WaveHeader(std::uint32_t dataSize, std::uint32_t rate = 48000, std::uint16_t bits = 16,
                       std::uint32_t bextSize = 602);

// One audio region of a project file.
struct Region {
    std::string file;
    std::int64_t offset = 0;
    std::int64_t length = 0;
};
// Project file text: one Qlist with one track per entry, each holding its regions.
std::string CueText(const std::vector<std::vector<Region>>& tracks);

// A wave file a project plays: its name and the data size its header declares.
struct FixtureWave {
    std::string file;
    std::uint32_t dataSize = 1000;
};
// Writes the project file name + ".cue" (one track playing each wave whole)
// and a wave header for each wave.
void WriteProject(const fs::path& folder, const std::string& name, const std::vector<FixtureWave>& waves);
// The length a wave file of WriteProject declares: what it adds to its project's size.
std::int64_t DeclaredSize(std::uint32_t dataSize);

// Gives project, read whole, its own files as a folder scan does, from a listing of its folder.
void GiveOwnFiles(orvoProject& project);

// The names of every entry of folder, hidden ones included, sorted.
std::vector<std::string> EntryNames(const fs::path& folder);

// Every regular file below root (relative path -> content).
// Its disc labels without what tells one sort from another (AnySorts).
std::map<std::string, std::string> Snapshot(const fs::path& root);
// The bytes of file as any sort of the same folder writes them: a disc
// label without its disc's identity and its sort's time, a SHA256SUMS
// without its label's checksum; any other file as it is.
std::string AnySorts(const fs::path& file, std::string bytes);
// Asserts that every file of before still exists below root exactly once
// (anywhere: moves relocate files), by file name and content.
void ExpectNothingLost(const std::map<std::string, std::string>& before, const fs::path& root);

// Limits the size of the files this process writes while it lives, so that a
// write fails (EFBIG) as on a full disk.
class FileSizeLimit final {
public:
    explicit FileSizeLimit(std::uint64_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    std::uint64_t savedLimit = 0;
    void (*savedHandler)(int) = nullptr;
};

// Recording fakes.
struct RecordingMessages final : Messages {
    std::vector<std::string> shown;
    void Show(const std::string& text) override { shown.push_back(text); }
};

// Answers each question of a command from answers, in order, and Yes once
// they are used up; records what each asked.
struct ScriptedQuestion final : Question {
    std::vector<bool> answers;
    std::vector<Asked> asked;
    bool Confirm(const Asking& asking) override;
    bool AskYesNo(const std::string& text, const std::string& title) override;
};

struct RecordingProgress final : Progress {
    std::vector<std::string> calls; // "Hide", "Startup n", "OK k name"
    int cancelAtCall = -1; // the OK call (0-based) from which on OK returns false
    int okCalls = 0;
    void Hide() override { calls.push_back("Hide"); }
    void Startup(int amountToDo) override;
    void Show(int amountDone, const std::string& text) override;
};

// The rows a front end shows of a list and the ones the user selected; rows
// are counted from 1, row r shows project r - 1.
struct FakeGrid {
    struct Row {
        GridRow texts;
        bool selected = false;
    };
    std::vector<Row> rows;
    // The list's rows, none selected.
    void Fill(const orvoProjectList& list);
    void Select(int r) { rows.at(static_cast<std::size_t>(r - 1)).selected = true; }
    // The projects of the selected rows, in list order.
    std::vector<orvoProject*> Selection(const orvoProjectList& list) const;
};

// Shows a command's messages in one box after those of its run, as the
// window does: nothing of a declined one, and the last message, which tells
// the journal left behind, only as the window's offer to recover. True when
// it did not end Done.
bool ShowResult(Messages& messages, const Result& result);

// The fakes bundled for one project list.
struct FakeUi {
    RecordingMessages messages;
    RecordingProgress progress;
    ScriptedQuestion question;
    UserInterface services() { return {messages, progress}; }
    CommandUi commands() { return {messages, progress, question}; }
    bool Shown(const Result& result) { return ShowResult(messages, result); }
    // Answers the questions of a sort of list: Sort and DiscNames Yes,
    // SortTheRest leaveUnsortable.
    void AnswerSort(const orvoProjectList& list, bool leaveUnsortable);
};

// A root folder with a project list, the fakes it talks through and its grid.
// The list's clock stands on 7 December 2026.
struct Studio {
    TempDir root;
    FakeUi ui;
    orvoProjectList list{ui.services()};
    FakeGrid grid;

    Studio();
    // Reads regular and mix projects, plans for the medium and fills the grid.
    // True when the scan recorded errors.
    bool Read(bool forCD = true);
    // A backup sort of the folder as read, answering Sort and DiscNames Yes
    // and SortTheRest leaveUnsortable. True when it did not end Done.
    bool Sort(bool leaveUnsortable = false);
    orvoProject& Project(int position) { return *list.projects.Item(position); }
    void Select(std::initializer_list<int> rows);
    // The projects of the selected rows.
    std::vector<orvoProject*> Selected() const;
    // The project names in list order.
    std::vector<std::string> Names() const;
    // The first text of each grid row, with "*" after a selected one.
    std::vector<std::string> Rows() const;
};

} // namespace fixtures
