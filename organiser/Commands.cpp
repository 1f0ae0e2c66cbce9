#include "Commands.h"

#include "FileOps.h"
#include "Journal.h"
#include "Manifest.h"
#include "TextCodec.h"
#include "idata_common.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <iterator>
#include <sys/stat.h>
#include <unordered_map>
#include <unordered_set>

namespace fs = std::filesystem;

namespace kelvark {

std::string NamedList(const std::vector<std::string>& names, bool quoted, std::size_t unnamed)
{
    // A folder of thousands can name thousands: a message names ten.
    constexpr std::size_t Named = 10;
    std::string text;
    for (std::size_t i = 0; i < names.size() && i < Named; ++i)
        text += (i == 0 ? "" : ", ") + (quoted ? "\"" + names[i] + "\"" : names[i]);
    if (const std::size_t count = names.size() + unnamed; count > Named)
        text += " and " + std::to_string(count - Named) + " more";
    return text;
}

std::string NoSetReason(const orvoProjectList& list, const orvoProject& project)
{
    std::string reason = list.NoSetReason(project);
    reason.front() = static_cast<char>(std::toupper(static_cast<unsigned char>(reason.front())));
    return reason;
}

std::vector<std::string> ProjectsInNoSet(const orvoProjectList& list)
{
    std::vector<std::string> names;
    for (const auto& project : list.projects)
        if (project->BackupNum < 0)
            names.push_back(project->Name);
    return names;
}

std::string NoSetNotice(const std::vector<std::string>& names, const Medium& medium)
{
    return (names.size() == 1 ? "This project fits on no " : "These projects fit on no ") + medium.name + ": "
           + NamedList(names) + ".";
}

std::string BackupSortQuestion(const Medium& medium)
{
    return "Move projects in to backup directories with a max size of " + medium.size + "?";
}

std::string UnsortableText(const std::vector<orvoProjectList::Unsortable>& left)
{
    constexpr std::size_t Named = 10;
    std::string text =
        std::to_string(left.size()) + (left.size() == 1 ? " project can't" : " projects can't") + " be sorted:";
    for (std::size_t i = 0; i < left.size() && i < Named; ++i)
        text += LineEnd + left[i].reason;
    if (left.size() > Named)
        text += std::string(LineEnd) + "… and " + std::to_string(left.size() - Named) + " more";
    return text;
}

std::string SortTheRestQuestion(const orvoProjectList& list, const std::vector<orvoProjectList::Unsortable>& left)
{
    const std::size_t others = static_cast<std::size_t>(list.projects.Count()) - left.size();
    return UnsortableText(left) + LineEnd + LineEnd + "Sort the other " + std::to_string(others)
           + (others == 1 ? " project" : " projects") + " and leave " + (left.size() == 1 ? "this one" : "these")
           + " in the folder?";
}

namespace {

// The length of a name as Windows counts it, in UTF-16 code units: one per
// character, two beyond U+FFFF; bytes that are not UTF-8 are read as
// Windows-1252, one character each.
std::size_t Utf16Length(std::string_view name)
{
    std::size_t units = 0;
    for (const unsigned char c : ShownText(name))
        units += (c & 0xC0) != 0x80 ? (c >= 0xF0 ? 2 : 1) : 0;
    return units;
}

// A group separator every three digits of a whole number: "4,512".
std::string Grouped(std::int64_t whole, const std::string& separator)
{
    std::string digits = std::to_string(whole);
    for (auto at = static_cast<std::ptrdiff_t>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<std::size_t>(at), separator);
    return digits;
}

// Bytes in decimal megabytes with one decimal and grouped digits: "4,512.3 MB".
std::string Megabytes(std::int64_t bytes, const Regional& regional)
{
    const std::int64_t tenths = (bytes + 50000) / 100000;
    return Grouped(tenths / 10, regional.groupSeparator) + regional.decimalSeparator + std::to_string(tenths % 10)
           + " MB";
}

} // namespace

std::string DiscNamesWarning(const orvoProjectList& list)
{
    constexpr std::size_t Kept = 64;
    std::vector<std::string> tooLong, badCharacters, large;
    std::unordered_set<std::string> seen, seenLarge;
    for (const auto& project : list.projects) {
        if (project->BackupNum < 0)
            continue;
        for (const std::string_view name : project->FilesOfAtLeast(LargeFileSize))
            if (seenLarge.emplace(name).second)
                large.push_back(ShownText(name));
        for (const std::string_view name : project->FilesToMove()) {
            // Only a name to be shown is kept, so that one shared by projects is shown once.
            const bool longName = Utf16Length(name) > Kept;
            const bool badName = name.find_first_of("*/:;?\\") != std::string::npos;
            if (!(longName || badName) || !seen.emplace(name).second)
                continue;
            if (longName)
                tooLong.push_back(ShownText(name));
            if (badName)
                badCharacters.push_back(ShownText(name));
        }
    }
    std::string text;
    if (!tooLong.empty())
        text = "These names are longer than a disc written for Windows keeps (64 characters): "
               + NamedList(tooLong, true) + ".";
    if (!badCharacters.empty())
        text += (text.empty() ? "" : std::string(LineEnd) + LineEnd)
                + "These names hold characters a disc written for Windows can't keep (* / : ; ? \\): "
                + NamedList(badCharacters, true) + ".";
    if (!large.empty())
        text += (text.empty() ? "" : std::string(LineEnd) + LineEnd)
                + "These files are 4 GiB or larger: a disc for them needs UDF or ISO 9660 level 3: "
                + NamedList(large, true) + ".";
    return text;
}

std::string SetTotalText(const orvoProjectList::SetTotal& set, const Medium& medium, const Regional& regional)
{
    return set.name + ": " + Megabytes(set.bytes, regional) + " of " + Megabytes(medium.budget, regional) + ", "
           + std::to_string(set.projects) + (set.projects == 1 ? " project" : " projects");
}

std::string ReadOnlySizeTip(const orvoProject& project, const Regional& regional)
{
    return "Counted in the plan: " + Megabytes(project.wavSize, regional);
}

bool ReadFolderCommand(orvoProjectList& list, const std::string& RootFolder, bool chkMix, bool chkRegular,
                       const Medium& medium)
{
    const bool hadErrors = list.ReadFolder(RootFolder, chkMix, chkRegular);
    list.CalcBackup(medium);
    return hadErrors;
}

bool BackupCommand(orvoProjectList& list, const std::string& RootFolder, BackupKind kind, Messages& messages)
{
    const std::string prefix = list.medium.prefix;
    if (kind != BackupKind::ReportOnly) {
        // The sort writes the reports as its last step.
        if (list.Rearrange(RootFolder, prefix, kind == BackupKind::SortTheRest))
            return true;
    } else {
        // The reports of a sort say what went onto which disc: a plan of what
        // is left in the folder would letter its sets from A again.
        if (const std::string refusal = ReportOnlyRefusal(RootFolder); !refusal.empty()) {
            messages.Show(refusal);
            return true;
        }
        if (list.ReportTest(RootFolder, false)) {
            messages.Show(list.LastError);
            return true;
        }
        // The reports are written under the folder's lock, so that no sort
        // runs meanwhile; a folder that can't hold the lock's file can't hold
        // the reports either, and they say so themselves.
        Journal journal;
        if (const Result refusal = journal.Lock(RootFolder, Operation::Report);
            refusal.Failed() && journal.Found() != Journal::State::None) {
            messages.Show(refusal.Message());
            return true;
        }
        if (list.ReportTxt(RootFolder, prefix) || list.ReportCsv(RootFolder))
            return true;
    }
    messages.Show("Done.  CSV files are in folder " + RootFolder + ".");
    return false;
}

bool MoveCommand(orvoProjectList& list, const std::vector<orvoProject*>& selected, const std::string& MoveFolder,
                 Messages& messages)
{
    if (list.MoveTest(selected, MoveFolder)) {
        messages.Show(list.LastError);
        return true;
    }
    const Outcome outcome = list.MoveList(selected, MoveFolder);
    return outcome != Outcome::Done;
}

std::string ReadOnlyMoveNotice(const std::vector<orvoProject*>& selected)
{
    std::vector<const orvoProject*> readOnly;
    std::copy_if(selected.begin(), selected.end(), std::back_inserter(readOnly),
                 [](const orvoProject* project) { return project->ReadOnly; });
    if (readOnly.empty())
        return {};
    std::string names;
    for (const orvoProject* project : readOnly)
        names += (names.empty() ? "" : ", ") + project->Name;
    return names + (readOnly.size() == 1 ? " is read-only: its files" : " are read-only: their files")
           + " will be copied, and stay in " + readOnly.front()->ReadDir + ".";
}

bool HoldsOnlyChecksums(const std::string& folder)
{
    std::error_code error, typeError;
    fs::directory_iterator it(folder, error);
    if (error || it == fs::directory_iterator() || it->path().filename() != ManifestName || it->is_symlink(typeError)
        || !it->is_regular_file(typeError))
        return false;
    it.increment(error);
    return !error && it == fs::directory_iterator();
}

std::vector<std::string> SortedSetFolders(const std::string& RootFolder)
{
    std::error_code error;
    std::vector<std::string> folders = SetFolders(RootFolder, SetPrefixes(), error);
    std::erase_if(folders, [&](const std::string& folder) { return HoldsOnlyChecksums(RootFolder + folder); });
    return folders;
}

std::string ReportOnlyRefusal(const std::string& RootFolder)
{
    const std::vector<std::string> folders = SortedSetFolders(RootFolder);
    if (folders.empty())
        return {};
    return folders.front() + (folders.size() > 1 ? " … " + folders.back() + " hold" : " holds")
           + " the backup sort these reports describe. Undo backup sort first to plan the folder again.";
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

bool IsSetFolder(const std::string& name, const std::string& prefix)
{
    return name.size() > prefix.size() + 1 && name.starts_with(prefix + "-")
           && std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()) + 1, name.end(),
                          [](char c) { return c >= 'A' && c <= 'Z'; });
}

bool IsAnySetFolder(const std::string& name)
{
    return std::any_of(SetPrefixes().begin(), SetPrefixes().end(),
                       [&](const std::string& prefix) { return IsSetFolder(name, prefix); });
}

std::vector<std::string> SetFolders(const std::string& RootFolder, const std::vector<std::string>& prefixes,
                                    std::error_code& error)
{
    std::vector<std::string> folders;
    for (fs::directory_iterator it(RootFolder, error), end; !error && it != end; it.increment(error)) {
        std::error_code typeError;
        const std::string name = it->path().filename().string();
        if (!it->is_symlink(typeError) && it->is_directory(typeError)
            && std::any_of(prefixes.begin(), prefixes.end(),
                           [&](const auto& prefix) { return IsSetFolder(name, prefix); }))
            folders.push_back(name);
    }
    // Set order: by prefix, then A to Z, AA, AB and so on.
    std::sort(folders.begin(), folders.end(), [](const std::string& a, const std::string& b) {
        const auto a1 = a.find('-'), b1 = b.find('-');
        if (a.compare(0, a1, b, 0, b1) != 0)
            return a.compare(0, a1, b, 0, b1) < 0;
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    return folders;
}

UnsortPlan PlanUnsort(const std::string& RootFolder, const Medium& medium)
{
    const std::string& prefix = medium.prefix;
    UnsortPlan unsort;
    FilePlan& plan = unsort.plan;
    plan.kind = Operation::Unsort;
    plan.root = RootFolder;
    plan.makesFolders = false;
    std::error_code error;
    plan.folders = SetFolders(RootFolder, {prefix}, error);
    if (error) {
        plan.refusals.push_back("Can't read folder " + RootFolder + ": " + ErrorText(error));
        return unsort;
    }
    if (plan.folders.empty()) {
        plan.refusals.push_back("There is no " + prefix + " backup folder in " + RootFolder + ".");
        return unsort;
    }

    // A name goes back once, to a place that is free.
    const auto refuse = [&](const std::string& text) { plan.refusals.push_back(text); };
    std::unordered_map<std::string, std::string> from; // file name -> the folder it comes back from
    for (const auto& folder : plan.folders) {
        plan.units.push_back({{}, {folder}, {}, {}, false});
        std::vector<std::string> names;
        for (fs::directory_iterator it(RootFolder + folder, error), end; !error && it != end; it.increment(error))
            names.push_back(it->path().filename().string());
        std::sort(names.begin(), names.end(), FolderListing::NameLess);
        for (const auto& name : names) {
            // The checksums describe the set folder: they stay with it, and so does the folder.
            if (name == ManifestName)
                continue;
            const std::string path = RootFolder + folder + "/" + name;
            const std::string shownName = "\"" + folder + "/" + name + "\"";
            if (const std::string reason = NotRegular(path); !reason.empty()) {
                refuse("Can't move " + shownName + " back: " + reason);
                continue;
            }
            struct stat status {};
            OwnFile report;
            if (::lstat((RootFolder + name).c_str(), &status) == 0) {
                // A read-only project's file was copied: the copy goes, once
                // the journal holds it, and only while it is the same byte
                // for byte as the file in the root folder.
                if (S_ISREG(status.st_mode) && SameBytes(path, RootFolder + name)) {
                    plan.units.back().steps.push_back({path, RootFolder + name, StepKind::Uncopy});
                    ++unsort.files;
                    continue;
                }
                // The sort's report describes the sort being undone: it gives
                // way to the project's file of its name.
                if (!IsReportName(name) || !LookOwnFile(RootFolder + name, report)) {
                    refuse("Can't move " + shownName + " back: \"" + name + "\" already exists");
                    continue;
                }
                plan.removes.push_back(report);
            }
            if (const auto [taken, fresh] = from.emplace(name, folder); !fresh) {
                refuse("Can't move " + shownName + " back: \"" + taken->second + "/" + name + "\" has the same name");
                continue;
            }
            plan.units.back().steps.push_back({path, RootFolder + name, StepKind::Move});
            ++unsort.files;
        }
        if (error)
            refuse("Can't read folder " + RootFolder + folder + ": " + ErrorText(error));
    }
    return unsort;
}

std::string UnsortQuestion(const UnsortPlan& unsort, const std::string& RootFolder)
{
    std::string folders;
    for (const auto& folder : unsort.plan.folders)
        folders += (folders.empty() ? "" : ", ") + folder;
    return "Move the " + std::to_string(unsort.files) + (unsort.files == 1 ? " file" : " files") + " of " + folders
           + " back into " + RootFolder + " and remove "
           + (unsort.plan.folders.size() == 1 ? "that folder" : "those folders") + "?";
}

bool UnsortCommand(UnsortPlan& unsort, const std::string& RootFolder, Progress& progress, Messages& messages)
{
    if (!unsort.plan.refusals.empty()) {
        messages.Show(unsort.plan.RefusalText());
        return true;
    }
    Journal journal;
    Result failure = journal.Lock(RootFolder, Operation::Unsort);
    if (!failure.Failed())
        failure = journal.Begin(unsort.plan);
    if (failure.Failed()) {
        messages.Show(failure.Message());
        return true;
    }
    if (RunPlan(unsort.plan, journal, progress, messages) != Outcome::Done)
        return true;
    messages.Show("Done.  The files are back in folder " + RootFolder + ".");
    return false;
}

} // namespace kelvark
