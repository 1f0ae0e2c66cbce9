#include "Commands.h"

#include "FileOps.h"
#include "Journal.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unordered_map>

std::string MediumPrefix(bool forCD)
{
    return forCD ? "CD" : "DVD";
}

std::string MediumSize(bool forCD)
{
    return forCD ? "649 megabytes" : "4.6 gigabytes";
}

std::string NoSetReason(bool forCD)
{
    return forCD ? "Larger than one CD (649 MB)" : "Larger than one DVD (4.6 GB)";
}

std::vector<std::string> ProjectsInNoSet(const orvoProjectList& list)
{
    std::vector<std::string> names;
    for (const auto& project : list.projects)
        if (project->BackupNum < 0)
            names.push_back(project->Name);
    return names;
}

std::string NoSetNotice(const std::vector<std::string>& names, bool forCD)
{
    // A folder of large projects can leave thousands out: a message names ten.
    constexpr std::size_t Named = 10;
    std::string text = names.size() == 1 ? "This project fits on no " : "These projects fit on no ";
    text += MediumPrefix(forCD) + ": ";
    for (std::size_t i = 0; i < names.size() && i < Named; ++i)
        text += (i == 0 ? "" : ", ") + names[i];
    if (names.size() > Named)
        text += " and " + std::to_string(names.size() - Named) + " more";
    return text + ".";
}

std::string BackupSortQuestion(bool forCD)
{
    return "Move projects in to backup directories with a max size of " + MediumSize(forCD) + "?";
}

bool ReadFolderCommand(orvoProjectList& list, const std::string& RootFolder, bool chkMix, bool chkRegular,
                       bool forCD, Grid& g)
{
    const bool hadErrors = list.ReadFolder(RootFolder, chkMix, chkRegular);
    list.CalcBackup(forCD);
    list.FillGrid(g);
    return hadErrors;
}

bool BackupCommand(orvoProjectList& list, const std::string& RootFolder, bool forCD, bool sort,
                   Messages& messages)
{
    const std::string prefix = MediumPrefix(forCD);
    if (!sort && list.ReportTest(RootFolder, false)) {
        messages.Show(list.LastError);
        return true;
    }
    if (sort && list.Rearrange(RootFolder, prefix))
        return true;
    if (list.ReportTxt(RootFolder, prefix) || list.ReportCsv(RootFolder))
        return true;
    messages.Show("Done.  CSV files are in folder " + RootFolder + ".");
    return false;
}

bool MoveCommand(orvoProjectList& list, Grid& g, const std::string& MoveFolder, Messages& messages)
{
    if (list.MoveTest(g, MoveFolder)) {
        messages.Show(list.LastError);
        return true;
    }
    list.MoveList(g, MoveFolder);
    list.FillGrid(g);
    return false;
}

std::string ReadFolderFirst(const std::string& RootFolder)
{
    return "Read the folder first: the grid does not show the projects of " + RootFolder + ".";
}

std::string WithSeparator(std::string folder)
{
    // An empty folder stays empty: it means that none was chosen.
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder;
}

namespace {

// True when the two regular files hold the same bytes.
bool SameContent(const std::string& a, const std::string& b)
{
    std::ifstream one(a, std::ios::binary), two(b, std::ios::binary);
    if (!one || !two || FileLength(a) != FileLength(b))
        return false;
    std::vector<char> x(1 << 16), y(1 << 16);
    while (one && two) {
        one.read(x.data(), static_cast<std::streamsize>(x.size()));
        two.read(y.data(), static_cast<std::streamsize>(y.size()));
        if (one.gcount() != two.gcount() || !std::equal(x.begin(), x.begin() + one.gcount(), y.begin()))
            return false;
    }
    return one.eof() && two.eof();
}

} // namespace

bool IsSetFolder(const std::string& name, const std::string& prefix)
{
    return name.size() > prefix.size() + 1 && name.starts_with(prefix + "-")
           && std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()) + 1, name.end(),
                          [](char c) { return c >= 'A' && c <= 'Z'; });
}

std::vector<std::string> SetFolders(const std::string& RootFolder, const std::vector<std::string>& prefixes,
                                    std::error_code& error)
{
    namespace fs = std::filesystem;
    std::vector<std::string> folders;
    for (fs::directory_iterator it(RootFolder, error), end; !error && it != end; it.increment(error)) {
        std::error_code typeError;
        const std::string name = it->path().filename().string();
        if (!it->is_symlink(typeError) && it->is_directory(typeError)
            && std::any_of(prefixes.begin(), prefixes.end(),
                           [&](const auto& prefix) { return IsSetFolder(name, prefix); }))
            folders.push_back(name);
    }
    // Set order: A to Z, then AA, AB and so on; CD sets before DVD sets.
    std::sort(folders.begin(), folders.end(), [](const std::string& a, const std::string& b) {
        const auto a1 = a.find('-'), b1 = b.find('-');
        if (a1 != b1)
            return a1 < b1;
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    return folders;
}

UnsortPlan PlanUnsort(const std::string& RootFolder, bool forCD)
{
    namespace fs = std::filesystem;
    const std::string prefix = MediumPrefix(forCD);
    UnsortPlan unsort;
    std::error_code error;
    unsort.folders = SetFolders(RootFolder, {prefix}, error);
    if (error) {
        unsort.plan.refusals.push_back("Can't read folder " + RootFolder + ": " + Describe(error));
        return unsort;
    }
    if (unsort.folders.empty()) {
        unsort.plan.refusals.push_back("There is no " + prefix + " backup folder in " + RootFolder + ".");
        return unsort;
    }

    // A name goes back once, to a place that is free.
    constexpr std::size_t shown = 20;
    std::size_t more = 0;
    const auto refuse = [&](const std::string& text) {
        if (unsort.plan.refusals.size() < shown)
            unsort.plan.refusals.push_back(text);
        else
            ++more;
    };
    std::unordered_map<std::string, std::string> from; // file name -> the folder it comes back from
    for (const auto& folder : unsort.folders) {
        unsort.plan.units.emplace_back();
        std::vector<std::string> names;
        for (fs::directory_iterator it(RootFolder + folder, error), end; !error && it != end; it.increment(error))
            names.push_back(it->path().filename().string());
        std::sort(names.begin(), names.end(), FolderListing::NameLess);
        for (const auto& name : names) {
            const std::string path = RootFolder + folder + "/" + name;
            const std::string shownName = "\"" + folder + "/" + name + "\"";
            if (const std::string reason = NotRegular(path); !reason.empty()) {
                refuse("Can't move " + shownName + " back: " + reason);
                continue;
            }
            struct stat status {};
            if (::lstat((RootFolder + name).c_str(), &status) == 0) {
                if (S_ISREG(status.st_mode) && SameContent(path, RootFolder + name)) {
                    unsort.copies.push_back(path);
                    ++unsort.files;
                } else {
                    refuse("Can't move " + shownName + " back: \"" + name + "\" already exists");
                }
                continue;
            }
            if (const auto [taken, fresh] = from.emplace(name, folder); !fresh) {
                refuse("Can't move " + shownName + " back: \"" + taken->second + "/" + name + "\" has the same name");
                continue;
            }
            unsort.plan.units.back().steps.push_back({RootFolder + folder + "/" + name, RootFolder + name, false});
            ++unsort.files;
        }
        if (error)
            refuse("Can't read folder " + RootFolder + folder + ": " + Describe(error));
    }
    if (more > 0)
        unsort.plan.refusals.push_back("… and " + std::to_string(more) + " more");
    return unsort;
}

std::string UnsortQuestion(const UnsortPlan& unsort, const std::string& RootFolder)
{
    std::string folders;
    for (const auto& folder : unsort.folders)
        folders += (folders.empty() ? "" : ", ") + folder;
    return "Move the " + std::to_string(unsort.files) + (unsort.files == 1 ? " file" : " files") + " of " + folders
           + " back into " + RootFolder + " and remove " + (unsort.folders.size() == 1 ? "that folder" : "those folders")
           + "?";
}

bool UnsortCommand(const UnsortPlan& unsort, const std::string& RootFolder, Progress& progress, Messages& messages,
                   bool stopOnCancel)
{
    if (!unsort.plan.refusals.empty()) {
        messages.Show(unsort.plan.RefusalText());
        return true;
    }
    // The copies go first: their originals stay where they are, so a stop
    // here loses nothing.
    for (const auto& copy : unsort.copies)
        if (const std::error_code error = RemoveFile(copy)) {
            messages.Show("Can't remove the copy \"" + copy.substr(RootFolder.size()) + "\": " + Describe(error));
            return true;
        }
    Journal journal;
    if (const std::string failure = journal.Begin(Journal::Kind::Unsort, RootFolder, unsort.plan); !failure.empty()) {
        messages.Show(failure);
        return true;
    }
    progress.Hide();
    progress.Startup(static_cast<int>(unsort.folders.size()));
    for (std::size_t k = 0; k < unsort.plan.units.size(); ++k) {
        if (!progress.OK(static_cast<int>(k), unsort.folders[k]) && stopOnCancel) {
            journal.Keep();
            messages.Show(journal.Describe());
            return true;
        }
        if (const std::string failure = unsort.plan.RunUnit(k, &journal); !failure.empty()) {
            journal.Keep();
            messages.Show(failure);
            return true;
        }
    }
    // The emptied folders go while the journal is there: an undo makes them again.
    for (const auto& folder : unsort.folders) {
        std::error_code error;
        std::filesystem::remove(RootFolder + folder, error); // only an emptied folder goes
    }
    journal.End();
    messages.Show("Done.  The files are back in folder " + RootFolder + ".");
    return false;
}
