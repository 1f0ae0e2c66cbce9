#include "orvoProjectList.h"

#include "BackupSet.h"
#include "FileOps.h"

#include <fstream>
#include <map>
#include <set>
#include <utility>

namespace {

// num / den to the nearest whole number, a half going away from zero.
std::int64_t RoundHalfAway(std::int64_t num, std::int64_t den)
{
    const bool negative = (num < 0) != (den < 0);
    const std::uint64_t a = num < 0 ? 0 - static_cast<std::uint64_t>(num) : static_cast<std::uint64_t>(num);
    const std::uint64_t b = den < 0 ? 0 - static_cast<std::uint64_t>(den) : static_cast<std::uint64_t>(den);
    const std::uint64_t rounded = a / b + (a % b >= b - a % b ? 1 : 0);
    return negative ? -static_cast<std::int64_t>(rounded) : static_cast<std::int64_t>(rounded);
}

// Bytes in decimal megabytes with one decimal and no leading zero: ".5", "123.5".
std::string SizeText(std::int64_t bytes, const std::string& decimalSeparator)
{
    const std::int64_t tenths = RoundHalfAway(bytes, 100000);
    const std::int64_t whole = (tenths < 0 ? -tenths : tenths) / 10;
    return (tenths < 0 ? "-" : "") + (whole == 0 ? std::string() : std::to_string(whole)) + decimalSeparator
           + std::to_string((tenths < 0 ? -tenths : tenths) % 10);
}

std::string UsedText(const orvoProject& project)
{
    if (project.samples != 0)
        return std::to_string(RoundHalfAway(project.samplesUsed * 100, project.samples)) + "%";
    return project.ReadOnly ? "-" : "ERR";
}

// A project file's name without its extension, ASCII letters folded to lower case.
std::string FoldedName(const std::string& file)
{
    std::string name = file.substr(0, file.size() - 4);
    for (char& c : name)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return name;
}

} // namespace

bool orvoProjectList::ReadFolder(const std::string& RootFolder, bool chkMix, bool chkRegular)
{
    LastError.clear();
    if (RootFolder.empty()) {
        LastError = "No root folder chosen.";
        return false;
    }
    projects.Clear();

    // One listing of the folder serves the whole scan: the project files here,
    // and every project's own files and waves later.
    const auto listing = std::make_shared<const FolderListing>(RootFolder);
    bool failed = false;
    if (listing->Error()) {
        // A folder that cannot be listed is an error, not an empty folder.
        failed = true;
        AddFolderError("Can't read folder " + RootFolder + ": " + Describe(listing->Error()));
    }
    // Project files whose names differ only in letter case are one project
    // where the folder was written: none of them can be told apart.
    std::map<std::string, int> folded;
    for (const auto& file : listing->ProjectFiles())
        ++folded[FoldedName(file)];
    const auto sameNameError = [&](const std::string& file) {
        return folded[FoldedName(file)] > 1
                   ? "Can't open CUE file " + file + ": another project file has the same name in another letter case"
                   : std::string();
    };
    std::vector<std::shared_ptr<orvoProject>> leftOut;
    for (const auto& file : listing->ProjectFiles()) {
        const bool isMix = file.find(" Mix") != std::string::npos;
        auto project = std::make_shared<orvoProject>(ui.messages);
        project->ReadDir = RootFolder;
        project->IsAProject = !isMix;
        project->Name = file.substr(0, file.size() - 4);
        project->folder = listing;
        if (const std::string error = sameNameError(file); !error.empty())
            project->ReadFailure = project->LastError = error;
        if (isMix ? chkMix : chkRegular)
            projects.add(std::move(project));
        else
            leftOut.push_back(std::move(project));
    }

    ui.progress.Hide();
    ui.progress.Startup(projects.Count());
    int done = 0;
    std::vector<orvoProject*> listed;
    for (const auto& project : projects) {
        if (!ui.progress.OK(done, project->Name))
            break;
        std::ifstream fi;
        if (!project->LastError.empty()) { // the same name as another project file
            failed = true;
            AddFolderError(project->LastError);
        } else if (project->FileOpenRead(fi)) {
            failed = true;
            project->ReadFailure = project->LastError;
            AddFolderError(project->LastError);
        } else {
            project->FileRead(fi);
            if (project->GetWaveInfo()) {
                failed = true;
                AddFolderError(project->LastError);
            }
            project->ReadFailure.clear();
        }
        ++done;
    }
    for (const auto& project : projects)
        listed.push_back(project.get());
    // What the projects left out play stays theirs: their waves are found, not measured.
    for (const auto& project : leftOut) {
        std::ifstream fi;
        if (!project->LastError.empty() || project->FileOpenRead(fi))
            continue;
        project->FileRead(fi);
        project->ListWaves();
        project->ReadFailure.clear();
    }
    owners.Build(listing, listed, std::move(leftOut));
    return failed;
}

void orvoProjectList::AddFolderError(const std::string& text)
{
    if (LastError.empty())
        LastError = "Errors for this folder: \r\n\r\n";
    else
        LastError += "\r\n";
    LastError += "  " + text;
}

void orvoProjectList::CalcBackup(bool ForCD)
{
    const std::int64_t capacity = ForCD ? CDCapacity : DVDCapacity;
    numBackups = 0;

    // Each set takes, again and again, the largest unplaced project that still
    // fits, the earliest in the list among equal sizes. The projects that can
    // be placed at all wait ordered by size and, within a size, latest list
    // position first, so the last one at or below the room left is the choice:
    // one lookup per placement. A project that does not fit an empty set is
    // never placed.
    std::set<std::pair<std::int64_t, int>> waiting; // (size, -position)
    for (int i = 0; i < projects.Count(); ++i) {
        orvoProject& project = *projects.Item(i);
        project.BackupNum = -1;
        if (project.TotalSize() >= 0 && project.TotalSize() < capacity)
            waiting.emplace(project.TotalSize(), -i);
    }

    int set = 0;
    std::int64_t total = 0;
    while (!waiting.empty()) {
        auto fits = waiting.upper_bound({capacity - total - 1, 1});
        if (fits == waiting.begin()) {
            ++set; // nothing fits any more: the next set starts empty, and the smallest project fits it
            total = 0;
            continue;
        }
        --fits;
        orvoProject& chosen = *projects.Item(-fits->second);
        waiting.erase(fits);
        chosen.BackupNum = set;
        total += chosen.TotalSize();
        numBackups = set + 1;
    }
}

void orvoProjectList::FillGrid(Grid& g) const
{
    g.Clear();
    for (const auto& project : projects) {
        g.AddRow({project->Name,
                  project->ReadOnly ? "-" : SizeText(project->wavSize, regional.decimalSeparator),
                  std::to_string(project->trackList.tracks.Count()),
                  std::to_string(project->waves.Count()),
                  project->BackupNum >= 0 ? SetLetters(project->BackupNum) : "",
                  UsedText(*project)});
    }
}
