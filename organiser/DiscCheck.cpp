#include "DiscCheck.h"

#include "Commands.h"
#include "FileHashes.h"
#include "FileOps.h"
#include "FilePlan.h"
#include "FolderListing.h"
#include "Manifest.h"
#include "orvoProjectList.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <unordered_map>

namespace kelvark {

namespace {

// The set's name: the folder's own name ("DVD-C"; a disc's mount point's name).
std::string SetName(const std::string& folder)
{
    namespace fs = std::filesystem;
    fs::path path = fs::absolute(fs::path(folder)).lexically_normal();
    if (!path.has_filename())
        path = path.parent_path();
    return path.filename().empty() ? path.string() : path.filename().string();
}

std::string Counted(std::size_t n, const std::string& one, const std::string& many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// The names of a list: "DVD-A, DVD-B".
std::string Joined(const std::vector<std::string>& names)
{
    std::string text;
    for (const auto& name : names)
        text += (text.empty() ? "" : ", ") + name;
    return text;
}

// The folder's ordinary files, SHA256SUMS aside.
std::vector<std::string> FilesToList(const FolderListing& listing)
{
    std::vector<std::string> names;
    for (std::size_t i = 0; i < listing.Count(); ++i)
        if (listing.Name(i) != ManifestName)
            names.emplace_back(listing.Name(i));
    return names;
}

// What the project list of a verify talks through: nothing is shown or asked,
// and a stop of the scan is remembered.
struct QuietUi final : Messages, Progress {
    explicit QuietUi(Progress& progress) : progress(progress) {}
    void Show(const std::string&) override {}
    void Hide() override { progress.Hide(); }
    void Startup(int amountToDo) override { progress.Startup(amountToDo); }
    bool OK(int amountDone, const std::string& text) override
    {
        stopped = !progress.OK(amountDone, text) || stopped;
        return !stopped;
    }

    Progress& progress;
    bool stopped = false;
};

// Gives each listed file of folder to the projects whose project files in the
// folder name it as their own file or play it, as a folder read does; a file
// the folder no longer holds goes by its name. A project whose project file is
// listed but gone still owns the files named after it.
void Attribute(FolderCheck& folder, const orvoProjectList& list)
{
    std::unordered_multimap<std::string_view, const orvoProject*> playedBy; // wave names as the project files give them
    for (const auto& project : list.projects)
        for (int i = 0; i < project->WaveCount(); ++i)
            playedBy.emplace(project->WaveName(i), project.get());
    std::vector<std::string> gone; // projects whose project file is listed but not in the folder
    for (const auto& file : folder.files)
        if (HasProjectExtension(file.name) && !list.owners.Find(file.name)
            && !list.owners.Project(file.name.substr(0, file.name.size() - 4)))
            gone.push_back(file.name.substr(0, file.name.size() - 4));

    using ByName = decltype(&FolderListing::NameLess);
    std::map<std::string, std::vector<std::size_t>, ByName> projects(FolderListing::NameLess);
    for (std::size_t i = 0; i < folder.files.size(); ++i) {
        const std::string& name = folder.files[i].name;
        std::vector<std::string_view> claims;
        if (const auto entry = list.owners.Find(name)) {
            if (entry->owner)
                claims.push_back(entry->owner->Name);
            for (const orvoProject* player : entry->players)
                claims.push_back(player->Name);
        } else {
            const auto [first, last] = playedBy.equal_range(name);
            for (auto it = first; it != last; ++it)
                claims.push_back(it->second->Name);
            std::string_view owner = list.owners.OwnerName(name);
            for (const auto& project : gone)
                if (project.size() > owner.size() && FolderListing::IsOwnFileOf(name, project))
                    owner = project;
            // Another project's wave is never a project's own file.
            if (!owner.empty() && (claims.empty() || std::find(claims.begin(), claims.end(), owner) != claims.end()))
                claims.push_back(owner);
        }
        std::sort(claims.begin(), claims.end());
        claims.erase(std::unique(claims.begin(), claims.end()), claims.end());
        for (const std::string_view project : claims)
            projects[std::string(project)].push_back(i);
        if (claims.empty())
            folder.loose.push_back(i);
    }
    for (auto& [name, files] : projects)
        folder.projects.push_back({name, std::move(files)});
}

// The faults of the files given: "changed" with "a.wav", "b.wav", then
// missing, unreadable and not checked; none when all are intact.
std::vector<Finding::Fault> Faults(const FolderCheck& folder, const std::vector<std::size_t>& files)
{
    std::string changed, missing, unreadable;
    bool unchecked = false;
    for (const std::size_t i : files) {
        const CheckedFile& file = folder.files[i];
        const std::string quoted = "\"" + file.name + "\"";
        switch (file.state) {
        case FileState::Intact: break;
        case FileState::Changed: changed += (changed.empty() ? "" : ", ") + quoted; break;
        case FileState::Missing: missing += (missing.empty() ? "" : ", ") + quoted; break;
        case FileState::Unreadable:
            unreadable += (unreadable.empty() ? "" : ", ") + quoted + " (" + file.error + ")";
            break;
        case FileState::Unchecked: unchecked = true; break;
        }
    }
    std::vector<Finding::Fault> faults;
    const auto add = [&faults](const std::string& kind, const std::string& names) {
        if (!names.empty())
            faults.push_back({kind, names});
    };
    add("changed", changed);
    add("missing", missing);
    add("unreadable", unreadable);
    if (unchecked)
        faults.push_back({"not checked", ""});
    return faults;
}

// The state that counts a project in the summary: its first fault in the order
// changed, missing, unreadable, unchecked; intact when it has none.
FileState ProjectState(const FolderCheck& folder, const ProjectCheck& project)
{
    FileState worst = FileState::Intact;
    for (const FileState state : {FileState::Unchecked, FileState::Unreadable, FileState::Missing, FileState::Changed})
        for (const std::size_t i : project.files)
            if (folder.files[i].state == state)
                worst = state;
    return worst;
}

} // namespace

ChecksumPlan PlanChecksums(const std::string& folder, bool replace)
{
    ChecksumPlan plan;
    plan.replace = replace;
    const std::string root = WithSeparator(folder);
    std::error_code error;
    const std::vector<std::string> sets = SetFolders(root, SetPrefixes(), error);
    if (error) {
        plan.refusal = "Can't read folder " + root + ": " + ErrorText(error);
        return plan;
    }
    const std::string own = SetName(root);
    if (IsAnySetFolder(own))
        plan.folders.push_back(root);
    else
        for (const auto& set : sets)
            plan.folders.push_back(root + set + "/");
    if (plan.folders.empty()) {
        plan.refusal = "There is no backup set folder (CD-A, DVD-A, BD-A, …) in " + root + ".";
        return plan;
    }
    for (const auto& set : plan.folders) {
        if (EntryExists(set + ManifestName))
            plan.holding.push_back(SetName(set));
        const FolderListing listing(set);
        for (const auto& name : FilesToList(listing))
            plan.bytes += FileLength(set + name);
    }
    if (!plan.holding.empty() && !replace)
        plan.refusal =
            Joined(plan.holding) + (plan.holding.size() == 1 ? " holds a " : " hold a ") + ManifestName + " already.";
    return plan;
}

std::string ChecksumOffer(const ChecksumPlan& plan)
{
    // A rate that a disk of the studio reads and two cores hash.
    constexpr std::int64_t BytesPerMinute = 300000000LL * 60;
    const std::int64_t minutes = (plan.bytes + BytesPerMinute - 1) / BytesPerMinute;
    return "Write checksums into the " + Counted(plan.folders.size(), "set folder", "set folders") + " now? Reading "
           + ReadAmount(plan.bytes) + " takes "
           + (plan.bytes < BytesPerMinute
                  ? "less than a minute."
                  : "about " + Counted(static_cast<std::size_t>(minutes), "minute.", "minutes."));
}

ChecksumOutcome WriteChecksums(const ChecksumPlan& plan, Progress& progress)
{
    ChecksumOutcome outcome;
    if (!plan.refusal.empty()) {
        outcome.lines.push_back(plan.refusal);
        outcome.failed = true;
        return outcome;
    }
    std::vector<std::vector<std::string>> names;
    std::vector<HashJob> jobs;
    std::vector<std::string> unlisted(plan.folders.size()); // why a folder cannot be listed
    for (std::size_t f = 0; f < plan.folders.size(); ++f) {
        const std::string& folder = plan.folders[f];
        const FolderListing listing(folder);
        if (listing.Error())
            unlisted[f] = ErrorText(listing.Error());
        names.push_back(FilesToList(listing));
        for (const auto& name : names.back())
            jobs.push_back({folder + name, SetName(folder) + "/" + name});
    }
    const std::vector<FileHash> hashes = HashFiles(jobs, progress, outcome.stopped);

    std::vector<std::string> notWritten; // the folders a stop left without one
    std::size_t k = 0;
    for (std::size_t f = 0; f < plan.folders.size(); ++f) {
        const std::string set = SetName(plan.folders[f]);
        std::vector<ManifestEntry> entries;
        std::string failure = unlisted[f].empty() ? "" : set + ": can't read the folder: " + unlisted[f];
        bool unread = false;
        for (const auto& name : names[f]) {
            const FileHash& hash = hashes[k++];
            if (hash.error && failure.empty())
                failure = set + ": can't read \"" + name + "\": " + ErrorText(hash.error);
            unread = unread || (!hash.read && !hash.error);
            entries.push_back({name, hash.digest});
        }
        if (failure.empty() && unread) {
            notWritten.push_back(set);
            continue;
        }
        if (failure.empty())
            if (const std::error_code error = WriteManifest(plan.folders[f], entries, plan.replace))
                failure = set + ": can't write " + ManifestName + ": " + ErrorText(error);
        outcome.failed = outcome.failed || !failure.empty();
        outcome.lines.push_back(failure.empty()
                                    ? set + ": " + ManifestName + " lists " + Counted(entries.size(), "file.", "files.")
                                    : failure + "; no " + ManifestName + " was written.");
    }
    if (!notWritten.empty())
        outcome.lines.push_back("Stopped: no " + ManifestName + " was written into " + Joined(notWritten) + ".");
    return outcome;
}

ChecksumOutcome WriteChecksums(const std::string& folder, bool replace, Progress& progress)
{
    return WriteChecksums(PlanChecksums(folder, replace), progress);
}

int VerifyResult::ExitStatus() const
{
    if (!refusals.empty())
        return 2;
    if (stopped)
        return 1;
    for (const auto& folder : folders) {
        if (!folder.extra.empty() || !folder.malformed.empty())
            return 1;
        if (std::any_of(folder.files.begin(), folder.files.end(),
                        [](const CheckedFile& file) { return file.state != FileState::Intact; }))
            return 1;
    }
    return 0;
}

VerifyResult Verify(const std::vector<std::string>& paths, Progress& progress)
{
    VerifyResult result;
    std::vector<Manifest> manifests;
    // Every path is looked at before any file is read.
    for (const auto& argument : paths) {
        const std::string path = WithSeparator(argument);
        std::error_code error;
        const std::vector<std::string> sets = SetFolders(path, SetPrefixes(), error);
        if (error) {
            result.refusals.push_back("Can't read folder " + path + ": " + ErrorText(error));
            continue;
        }
        std::vector<std::string> folders;
        if (EntryExists(path + ManifestName))
            folders.push_back(path);
        else
            for (const auto& set : sets)
                if (EntryExists(path + set + "/" + ManifestName))
                    folders.push_back(path + set + "/");
        if (folders.empty())
            result.refusals.push_back(path + " holds no " + ManifestName
                                      + ", nor does any backup set folder (CD-A, DVD-A, BD-A, …) in it.");
        for (const auto& folder : folders) {
            Manifest& manifest = manifests.emplace_back();
            if (const std::error_code readError = ReadManifest(folder, manifest))
                result.refusals.push_back("Can't read " + folder + ManifestName + ": " + ErrorText(readError));
            FolderCheck& check = result.folders.emplace_back();
            check.path = folder;
            check.name = SetName(folder);
            check.malformed = manifest.malformed;
            for (const auto& entry : manifest.entries)
                check.files.push_back({entry.name, FileState::Unchecked, {}});
        }
    }
    if (!result.refusals.empty()) {
        result.folders.clear();
        return result;
    }

    // Which project each file belongs to, from the project files in its folder.
    QuietUi ui(progress);
    for (FolderCheck& folder : result.folders) {
        orvoProjectList list({ui, ui});
        list.ReadFolder(folder.path, true, true);
        if (ui.stopped) {
            result.stopped = true;
            return result;
        }
        Attribute(folder, list);
        std::vector<std::string_view> names = list.owners.Names();
        folder.extra = Unlisted(manifests[static_cast<std::size_t>(&folder - result.folders.data())], names);
    }

    std::vector<HashJob> jobs;
    for (const FolderCheck& folder : result.folders)
        for (const CheckedFile& file : folder.files)
            jobs.push_back({folder.path + file.name, folder.name + "/" + file.name});
    const std::vector<FileHash> hashes = HashFiles(jobs, progress, result.stopped);
    std::size_t k = 0;
    for (std::size_t f = 0; f < result.folders.size(); ++f) {
        FolderCheck& folder = result.folders[f];
        for (std::size_t i = 0; i < folder.files.size(); ++i) {
            const FileHash& hash = hashes[k++];
            CheckedFile& file = folder.files[i];
            if (hash.read) {
                file.state = hash.digest == manifests[f].entries[i].digest ? FileState::Intact : FileState::Changed;
            } else if (hash.error == std::errc::no_such_file_or_directory) {
                file.state = FileState::Missing;
            } else if (hash.error) {
                file.state = FileState::Unreadable;
                file.error = NotRegular(folder.path + file.name);
                if (file.error.empty())
                    file.error = ErrorText(hash.error);
            }
        }
    }
    return result;
}

std::vector<Finding> FolderFindings(const FolderCheck& folder)
{
    std::vector<Finding> findings;
    for (const auto& project : folder.projects)
        findings.push_back({project.name, Faults(folder, project.files)});
    if (!folder.loose.empty())
        findings.push_back({"not part of a project", Faults(folder, folder.loose)});
    for (const auto& name : folder.extra)
        findings.push_back({"", {{"extra file", "\"" + name + "\""}}});
    for (const auto& line : folder.malformed)
        findings.push_back({"", {{line, ""}}});
    return findings;
}

std::string FindingText(const Finding& finding)
{
    std::string text;
    for (const auto& fault : finding.faults)
        text += (text.empty() ? "" : "; ") + fault.kind + (fault.files.empty() ? "" : " " + fault.files);
    return text.empty() ? "intact" : text;
}

std::vector<std::string> FolderLines(const FolderCheck& folder)
{
    std::vector<std::string> lines;
    for (const auto& finding : FolderFindings(folder))
        lines.push_back(folder.name + ": " + (finding.project.empty() ? "" : finding.project + ": ")
                        + FindingText(finding));
    return lines;
}

std::string FolderSummary(const FolderCheck& folder)
{
    std::map<FileState, std::size_t> projects;
    for (const auto& project : folder.projects)
        ++projects[ProjectState(folder, project)];
    const auto faulty = std::count_if(folder.loose.begin(), folder.loose.end(), [&](std::size_t i) {
        return folder.files[i].state != FileState::Intact && folder.files[i].state != FileState::Unchecked;
    });
    std::string text = folder.name + ": " + Counted(projects[FileState::Intact], "project", "projects") + " intact, "
                       + std::to_string(projects[FileState::Changed]) + " changed, "
                       + std::to_string(projects[FileState::Missing]) + " missing";
    if (projects[FileState::Unreadable] > 0)
        text += ", " + std::to_string(projects[FileState::Unreadable]) + " unreadable";
    if (projects[FileState::Unchecked] > 0)
        text += ", " + std::to_string(projects[FileState::Unchecked]) + " not checked";
    text += ", " + Counted(folder.extra.size(), "extra file", "extra files");
    if (faulty > 0)
        text += ", " + Counted(static_cast<std::size_t>(faulty), "file", "files") + " of no project not intact";
    if (!folder.malformed.empty())
        text += ", " + Counted(folder.malformed.size(), "malformed line", "malformed lines");
    return text;
}

std::string StopSummary(const VerifyResult& result)
{
    std::size_t checked = 0, listed = 0;
    for (const auto& folder : result.folders)
        for (const auto& file : folder.files) {
            ++listed;
            checked += file.state != FileState::Unchecked ? 1 : 0;
        }
    return "Stopped: " + std::to_string(checked) + " of " + Counted(listed, "file", "files") + " checked.";
}

} // namespace kelvark
