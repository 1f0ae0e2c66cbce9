#include "DiscCheck.h"

#include "DiscLabel.h"
#include "FileHashes.h"
#include "FileOps.h"
#include "FolderListing.h"
#include "Manifest.h"
#include "Medium.h"
#include "TextCodec.h"
#include "orvoProjectList.h"

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace kelvark {

namespace {

// The set's name: the folder's own name ("DVD-C"; a disc's mount point's name).
std::string SetName(const std::string& folder)
{
    const std::filesystem::path path(DiscRoot(folder));
    return path.filename().empty() ? path.string() : path.filename().string();
}

// What a stop left in sets, the set folders it wrote no SHA256SUMS into:
// "Stopped: no SHA256SUMS was written into DVD-B; DVD-A keeps its earlier
// SHA256SUMS." holding names those that held one before.
std::string StoppedText(const std::vector<std::string>& sets, const std::vector<std::string>& holding)
{
    std::vector<std::string> none, kept;
    for (const std::string& set : sets)
        (std::find(holding.begin(), holding.end(), set) != holding.end() ? kept : none).push_back(set);
    std::string text = "Stopped: ";
    if (!none.empty())
        text += "no " + ManifestName + " was written into " + Joined(none) + (kept.empty() ? "" : "; ");
    if (!kept.empty())
        text += Joined(kept) + (kept.size() == 1 ? " keeps its earlier " : " keep their earlier ") + ManifestName;
    return text + ".";
}

// The folder that holds folder (both ending with the separator).
std::string Parent(const std::string& folder)
{
    return WithSeparator(std::filesystem::path(DiscRoot(folder)).parent_path().string());
}

// An entry of a folder and its kind (S_IFREG, S_IFDIR, …; 0 when it can't be told).
struct Entry {
    std::string name;
    mode_t kind = 0;
};

// Every entry of the open folder but "." and "..", hidden ones included, in
// listing order; links are not followed.
std::error_code Entries(int folder, std::vector<Entry>& entries)
{
    entries.clear();
    const int fd = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(fd < 0 ? nullptr : ::fdopendir(fd), ::closedir);
    if (!dir) {
        const std::error_code error = LastErrno();
        if (fd >= 0)
            ::close(fd);
        return error;
    }
    errno = 0;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        struct stat status {};
        entries.push_back(
            {std::string(name), ::fstatat(::dirfd(dir.get()), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0
                                    ? status.st_mode & S_IFMT
                                    : 0});
    }
    if (errno != 0)
        return LastErrno();
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return FolderListing::NameLess(a.name, b.name); });
    return {};
}

// What the project list of a verify talks through: nothing is shown or asked,
// and a stop of the scan is remembered.
struct QuietUi final : Messages, Progress {
    explicit QuietUi(Progress& progress) : progress(progress) {}
    void Show(const std::string&) override {}
    void Hide() override { progress.Hide(); }
    void Startup(int amountToDo) override { progress.Startup(amountToDo); }
    void Show(int amountDone, const std::string& text) override
    {
        if (!progress.OK(amountDone, text))
            RequestStop();
    }

    Progress& progress;
};

// Gives each listed file of folder to the projects whose project files in the
// folder name it as their own file or play it, as the folder's read found
// them. A listed file the folder no longer holds goes to the projects that
// play a wave of its name the read did not find, else to the project it is
// named after; a project whose project file is listed but gone still owns the
// files named after it. Then adds the waves of projects that SHA256SUMS does
// not list: each file of the folder a project plays, and each wave a project
// plays that the folder does not hold (missing).
void Attribute(FolderCheck& folder, const orvoProjectList& list)
{
    std::unordered_multimap<std::string_view, const orvoProject*> notFound; // by the names the project files give
    for (const auto& project : list.projects)
        for (int i = 0; i < project->WaveCount(); ++i)
            if (project->WavePosition(i) == FolderListing::npos && !project->WaveName(i).empty())
                notFound.emplace(project->WaveName(i), project.get());
    std::vector<std::string> gone; // projects whose project file is listed but not in the folder
    for (std::size_t i = 0; i < folder.listed; ++i) {
        const std::string& name = folder.files[i].name;
        if (HasProjectExtension(name) && !list.owners.Find(name)
            && !list.owners.Project(name.substr(0, name.size() - 4)))
            gone.push_back(name.substr(0, name.size() - 4));
    }

    using ByName = decltype(&FolderListing::NameLess);
    std::map<std::string, std::vector<std::size_t>, ByName> projects(FolderListing::NameLess);
    const auto claim = [&](std::size_t i, std::vector<std::string_view> claims) {
        std::sort(claims.begin(), claims.end());
        claims.erase(std::unique(claims.begin(), claims.end()), claims.end());
        for (const std::string_view project : claims)
            projects[std::string(project)].push_back(i);
        if (claims.empty())
            folder.loose.push_back(i);
    };
    const auto claimsOf = [](const FolderOwners::Entry& entry) {
        std::vector<std::string_view> claims;
        if (entry.owner)
            claims.push_back(entry.owner->Name);
        for (const orvoProject* player : entry.players)
            claims.push_back(player->Name);
        return claims;
    };
    std::unordered_map<std::string, std::size_t> named; // every file of folder.files, by name
    for (std::size_t i = 0; i < folder.listed; ++i) {
        const std::string& name = folder.files[i].name;
        named.emplace(name, i);
        if (const auto entry = list.owners.Find(name)) {
            claim(i, claimsOf(*entry));
            continue;
        }
        std::vector<std::string_view> claims;
        const auto [first, last] = notFound.equal_range(name);
        for (auto it = first; it != last; ++it)
            claims.push_back(it->second->Name);
        const std::string_view owner = FolderListing::OwnerOf(
            name,
            [&](std::string_view project) {
                return list.owners.Project(project) || std::find(gone.begin(), gone.end(), project) != gone.end();
            },
            !claims.empty(),
            [&](std::string_view project) { return std::find(claims.begin(), claims.end(), project) != claims.end(); });
        if (!owner.empty())
            claims.push_back(owner); // the owner may play it too: claim counts it once
        claim(i, claims);
    }

    const auto add = [&](std::string_view name, FileState state) {
        folder.files.push_back({std::string(name), state, {}});
        named.emplace(name, folder.files.size() - 1);
        return folder.files.size() - 1;
    };
    for (const std::string_view name : list.owners.Names())
        if (!named.contains(std::string(name)))
            if (const auto entry = list.owners.Find(name); entry && !entry->players.empty())
                claim(add(name, FileState::Unlisted), claimsOf(*entry));
    for (const auto& [wave, project] : notFound) {
        const auto found = named.find(std::string(wave));
        const std::size_t i =
            found != named.end()
                ? found->second
                : add(wave, WaveMissing(*project, std::string(wave)) ? FileState::Missing : FileState::Unlisted);
        if (i >= folder.listed)
            projects[project->Name].push_back(i);
    }
    for (auto& [name, files] : projects) {
        std::sort(files.begin(), files.end());
        files.erase(std::unique(files.begin(), files.end()), files.end());
        folder.projects.push_back({name, std::move(files)});
    }
}

// Adds to extra every entry of the open folder (at path inside the checked
// folder) that known does not name, hidden ones included; a folder that
// listed names pass through is looked into.
void FindExtra(int folder, const std::string& path, const std::vector<Entry>& entries,
               const std::unordered_set<std::string>& known, const std::unordered_set<std::string>& passed,
               std::vector<std::string>& extra)
{
    for (const auto& entry : entries) {
        const std::string name = path + entry.name;
        if (known.contains(name))
            continue;
        if (entry.kind == S_IFDIR && passed.contains(name)) {
            const FileDescriptor inner(
                ::openat(folder, entry.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            // A folder that can't be listed fails its listed files' reads.
            if (std::vector<Entry> inside; inner.Get() >= 0 && !Entries(inner.Get(), inside))
                FindExtra(inner.Get(), name + "/", inside, known, passed, extra);
            continue;
        }
        extra.push_back(entry.kind == S_IFDIR ? name + "/" : name);
    }
}

// The faults of the files given: "changed" with "a.wav", "b.wav", then
// missing, unreadable and not checked; none when all are intact.
std::vector<Finding::Fault> Faults(const FolderCheck& folder, const std::vector<std::size_t>& files)
{
    std::string changed, missing, unreadable, unlisted;
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
        case FileState::Unlisted: unlisted += (unlisted.empty() ? "" : ", ") + quoted; break;
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
    add("not in " + ManifestName, unlisted);
    if (unchecked)
        faults.push_back({"not checked", ""});
    return faults;
}

} // namespace

ChecksumPlan PlanChecksums(const std::string& folder, HeldSums held)
{
    ChecksumPlan plan;
    plan.replace = held == HeldSums::Replace;
    const std::string root = WithSeparator(folder);
    std::error_code error;
    const std::vector<std::string> sets = SetFolders(root, SetPrefixes(), error);
    if (error) {
        plan.refusal = "Can't read folder " + root + ": " + ErrorText(error);
        return plan;
    }
    const std::string own = SetName(root);
    plan.root = IsAnySetFolder(own) ? Parent(root) : root;
    if (IsAnySetFolder(own))
        plan.folders.push_back(root);
    else
        for (const auto& set : sets)
            plan.folders.push_back(root + set + "/");
    if (plan.folders.empty()) {
        plan.refusal = "There is no backup set folder (CD-A, DVD-A, BD-A, …) in " + root + ".";
        return plan;
    }
    for (const auto& set : plan.folders)
        if (EntryExists(set + ManifestName))
            plan.holding.push_back(SetName(set));
    if (held == HeldSums::Keep)
        std::erase_if(plan.folders, [&](const std::string& set) {
            return std::find(plan.holding.begin(), plan.holding.end(), SetName(set)) != plan.holding.end();
        });
    for (const auto& set : plan.folders) {
        const FileDescriptor fd = OpenFolder(set);
        std::vector<Entry> entries;
        if (fd.Get() >= 0 && !Entries(fd.Get(), entries))
            for (const auto& entry : entries)
                if (entry.kind == S_IFREG && entry.name != ManifestName && !IsHiddenTemp(entry.name))
                    if (std::int64_t length = 0; !FileLength(fd.Get(), entry.name.c_str(), length))
                        plan.bytes += length;
    }
    if (!plan.holding.empty() && held == HeldSums::Refuse)
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

Result WriteChecksums(const ChecksumPlan& plan, Progress& progress)
{
    if (!plan.refusal.empty())
        return Result(plan.refusal);
    bool failed = false, stopped = false;
    std::vector<std::string> lines; // a sentence for each folder, in order
    const auto ended = [&] {
        Result result({}, stopped ? Result::Status::Stopped : failed ? Result::Status::Failed : Result::Status::Done);
        for (std::string& line : lines)
            result.Add(std::move(line));
        return result;
    };
    QuietUi ui(progress);
    std::vector<FileDescriptor> opened;
    std::vector<std::vector<std::string>> names(plan.folders.size());
    std::vector<std::string> failures(plan.folders.size()); // why a folder gets no SHA256SUMS
    std::vector<HashJob> jobs;
    for (std::size_t f = 0; f < plan.folders.size(); ++f) {
        const std::string& folder = plan.folders[f];
        const std::string set = SetName(folder);
        // The temporaries a stopped run left go first.
        RemoveOrphanTemps(folder);
        const FileDescriptor& fd = opened.emplace_back(OpenFolder(folder));
        std::vector<Entry> entries;
        const std::error_code error = fd.Get() < 0 ? LastErrno() : Entries(fd.Get(), entries);
        if (error) {
            failures[f] = set + ": can't read the folder: " + ErrorText(error);
            continue;
        }
        for (const auto& entry : entries) {
            if (entry.name == ManifestName)
                continue;
            if (entry.kind == S_IFREG)
                names[f].push_back(entry.name);
            else if (failures[f].empty())
                failures[f] = set + ": can't list \"" + entry.name + "\" in " + ManifestName + ": "
                              + NotRegular(folder + entry.name);
        }
        if (!failures[f].empty())
            continue;
        // A project's wave that is not there would never be on the disc.
        orvoProjectList list({ui, ui});
        list.ReadFolder(folder, true, true);
        if (ui.StopRequested()) {
            stopped = true;
            std::vector<std::string> sets;
            for (const auto& each : plan.folders)
                sets.push_back(SetName(each));
            lines.push_back(StoppedText(sets, plan.holding));
            return ended();
        }
        std::string missing;
        std::size_t more = 0;
        for (const auto& project : list.projects)
            for (int i = 0; i < project->WaveCount(); ++i) {
                const std::string wave(project->WaveName(i));
                if (project->WavePosition(i) != FolderListing::npos || wave.empty() || !WaveMissing(*project, wave))
                    continue;
                if (missing.empty())
                    missing = set + ": " + project->Name + ": \"" + wave + "\" is missing";
                else
                    ++more;
            }
        if (more > 0)
            missing += ", and " + Counted(more, "more wave", "more waves");
        failures[f] = missing;
        if (missing.empty())
            for (const auto& name : names[f])
                jobs.push_back({fd.Get(), name, set + "/" + name});
    }
    const std::vector<FileHash> hashes = HashFiles(jobs, progress, stopped);

    std::vector<std::string> notWritten; // the folders a stop left without one
    std::size_t k = 0;
    for (std::size_t f = 0; f < plan.folders.size(); ++f) {
        const std::string set = SetName(plan.folders[f]);
        std::vector<ManifestEntry> entries;
        std::string failure = failures[f];
        bool unread = false;
        for (std::size_t i = 0; failures[f].empty() && i < names[f].size(); ++i) {
            const std::string& name = names[f][i];
            const FileHash& hash = hashes[k++];
            if (hash.error && failure.empty())
                failure = set + ": unreadable \"" + name + "\" (" + ErrorText(hash.error) + ")";
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
        failed = failed || !failure.empty();
        const bool kept = std::find(plan.holding.begin(), plan.holding.end(), set) != plan.holding.end();
        lines.push_back(failure.empty()
                            ? set + ": " + ManifestName + " lists " + Counted(entries.size(), "file.", "files.")
                            : failure + (kept ? "; it keeps its earlier " : "; no ") + ManifestName
                                  + (kept ? "." : " was written."));
    }
    if (!notWritten.empty())
        lines.push_back(StoppedText(notWritten, plan.holding));
    return ended();
}

Result WriteChecksums(const std::string& folder, HeldSums held, Progress& progress)
{
    return WriteChecksums(PlanChecksums(folder, held), progress);
}

Result AttributeFiles(FolderCheck& check, const std::string& folder, Progress& progress)
{
    QuietUi ui(progress);
    orvoProjectList list({ui, ui});
    list.ReadFolder(folder, true, true);
    if (ui.StopRequested())
        return Result({}, Result::Status::Stopped);
    Attribute(check, list);
    return {};
}

bool Whole(const FolderCheck& folder)
{
    return folder.extra.empty() && folder.malformedCount == 0 && folder.damage.empty()
           && std::all_of(folder.files.begin(), folder.files.end(),
                          [](const CheckedFile& file) { return file.state == FileState::Intact; });
}

VerifyResult Verify(const std::vector<std::string>& paths, Progress& progress, bool all)
{
    VerifyResult result;
    // What each folder to check holds, read before any file is.
    struct Opened {
        FileDescriptor fd;
        Manifest manifest;
        std::vector<Entry> entries;
        std::vector<std::string> apart; // its set folders, checked on their own
    };
    std::vector<Opened> opened;
    const auto open = [&](const std::string& folder, std::vector<std::string> apart) {
        Opened& each = opened.emplace_back();
        each.apart = std::move(apart);
        FolderCheck& check = result.folders.emplace_back();
        check.path = folder;
        check.name = SetName(folder);
        each.fd = OpenFolder(folder);
        std::error_code error = each.fd.Get() < 0 ? LastErrno() : Entries(each.fd.Get(), each.entries);
        if (error) {
            result.refusals.push_back("Can't read folder " + folder + ": " + ErrorText(error));
            return;
        }
        if ((error = ReadManifest(each.fd.Get(), each.manifest, all ? SIZE_MAX : MalformedShown))) {
            const std::string reason = NotRegular(folder + ManifestName);
            result.refusals.push_back("Can't read " + folder + ManifestName + ": "
                                      + (reason.empty() ? ErrorText(error) : reason));
            return;
        }
        if (const auto label = ReadDiscLabel(each.fd.Get()); label && IsAnySetFolder(label->set)) {
            check.name = label->set;
            check.place = BackupPlace(*label);
            check.label = label;
        }
        check.malformed = std::move(each.manifest.malformed);
        check.malformedCount = each.manifest.malformedCount;
        for (const auto& entry : each.manifest.entries)
            check.files.push_back({entry.name, FileState::Unchecked, {}});
        check.listed = check.files.size();
    };
    for (const auto& argument : paths) {
        const std::string path = WithSeparator(argument);
        std::error_code error;
        const std::vector<std::string> sets = SetFolders(path, SetPrefixes(), error);
        if (error) {
            result.refusals.push_back("Can't read folder " + path + ": " + ErrorText(error));
            continue;
        }
        std::vector<std::string> summed;
        for (const auto& set : sets)
            if (EntryExists(path + set + "/" + ManifestName))
                summed.push_back(set);
        if (EntryExists(path + ManifestName))
            open(path, summed);
        else if (summed.empty())
            result.refusals.push_back(path + " holds no " + ManifestName
                                      + ", nor does any backup set folder (CD-A, DVD-A, BD-A, …) in it.");
        for (const auto& set : summed)
            open(path + set + "/", {});
    }
    if (!result.refusals.empty()) {
        result.folders.clear();
        return result;
    }

    // Which project each file belongs to, and the files each project needs,
    // from the project files in its folder.
    for (std::size_t f = 0; f < result.folders.size(); ++f) {
        FolderCheck& folder = result.folders[f];
        if (AttributeFiles(folder, folder.path, progress).Failed()) {
            result.stopped = true;
            return result;
        }
        std::unordered_set<std::string> known{ManifestName}, passed;
        for (const auto& file : folder.files) {
            known.insert(file.name);
            for (std::size_t slash = file.name.find('/'); slash != std::string::npos;
                 slash = file.name.find('/', slash + 1))
                passed.insert(file.name.substr(0, slash));
        }
        known.insert(opened[f].apart.begin(), opened[f].apart.end());
        FindExtra(opened[f].fd.Get(), "", opened[f].entries, known, passed, folder.extra);
    }

    std::vector<HashJob> jobs;
    for (std::size_t f = 0; f < result.folders.size(); ++f)
        for (std::size_t i = 0; i < result.folders[f].listed; ++i) {
            const std::string& name = result.folders[f].files[i].name;
            jobs.push_back({opened[f].fd.Get(), name, result.folders[f].name + "/" + name});
        }
    const std::vector<FileHash> hashes = HashFiles(jobs, progress, result.stopped);
    std::size_t k = 0;
    for (std::size_t f = 0; f < result.folders.size(); ++f) {
        FolderCheck& folder = result.folders[f];
        for (std::size_t i = 0; i < folder.listed; ++i) {
            const FileHash& hash = hashes[k++];
            CheckedFile& file = folder.files[i];
            if (hash.read) {
                file.state =
                    hash.digest == opened[f].manifest.entries[i].digest ? FileState::Intact : FileState::Changed;
            } else if (hash.error == std::errc::no_such_file_or_directory) {
                file.state = FileState::Missing;
            } else if (hash.error) {
                file.state = FileState::Unreadable;
                file.error = NotRegular(folder.path + file.name);
                if (file.error.empty())
                    file.error = ErrorText(hash.error);
            }
        }
        ForgetLabelUnlessIntact(folder, SetName(folder.path));
    }
    return result;
}

bool LabelListedAs(const Manifest& manifest, const Digest& digest)
{
    return std::any_of(manifest.entries.begin(), manifest.entries.end(), [&](const ManifestEntry& entry) {
        return entry.name == DiscLabelName && entry.digest == digest;
    });
}

void ForgetLabelUnlessIntact(FolderCheck& check, const std::string& name)
{
    const auto end = check.files.begin() + static_cast<std::ptrdiff_t>(check.listed);
    const auto label =
        std::find_if(check.files.begin(), end, [](const CheckedFile& file) { return file.name == DiscLabelName; });
    if (!check.label || (label != end && label->state == FileState::Intact))
        return;
    check.label.reset();
    check.place.clear();
    check.name = name;
}

// The state that counts a project in the summary: its first fault in the order
// changed, missing, unreadable, unlisted, unchecked; intact when it has none.
FileState ProjectState(const FolderCheck& folder, const ProjectCheck& project)
{
    FileState worst = FileState::Intact;
    for (const FileState state :
         {FileState::Unchecked, FileState::Unlisted, FileState::Unreadable, FileState::Missing, FileState::Changed})
        for (const std::size_t i : project.files)
            if (folder.files[i].state == state)
                worst = state;
    return worst;
}

std::vector<Finding> FolderFindings(const FolderCheck& folder)
{
    std::vector<Finding> findings;
    for (const auto& project : folder.projects)
        findings.push_back({project.name, Faults(folder, project.files)});
    // The disc's own label belongs to no project: it is named only when it is not intact.
    std::vector<std::size_t> loose = folder.loose;
    std::erase_if(loose, [&](std::size_t i) {
        return folder.files[i].name == DiscLabelName && folder.files[i].state == FileState::Intact;
    });
    if (!loose.empty())
        findings.push_back({"not part of a project", Faults(folder, loose)});
    for (const auto& damage : folder.damage)
        findings.push_back({"", {{damage, ""}}});
    for (const auto& name : folder.extra)
        findings.push_back({"", {{"extra file", "\"" + name + "\""}}});
    for (const auto& line : folder.malformed)
        findings.push_back({"", {{line, ""}}});
    if (const std::size_t more = folder.malformedCount - folder.malformed.size(); more > 0)
        findings.push_back({"", {{"… and " + Counted(more, "more malformed line", "more malformed lines"), ""}}});
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
    if (!folder.place.empty())
        lines.push_back(folder.name + ": " + folder.place);
    for (const auto& finding : FolderFindings(folder))
        lines.push_back(folder.name + ": " + (finding.project.empty() ? "" : finding.project + ": ")
                        + FindingText(finding));
    if (folder.malformedCount > folder.malformed.size())
        lines.back() += " (see --all)";
    return lines;
}

CheckCounts CountsOf(const FolderCheck& folder)
{
    CheckCounts counts;
    for (const auto& project : folder.projects)
        switch (ProjectState(folder, project)) {
        case FileState::Intact: ++counts.intact; break;
        case FileState::Changed: ++counts.changed; break;
        case FileState::Missing: ++counts.missing; break;
        case FileState::Unreadable: ++counts.unreadable; break;
        case FileState::Unlisted: ++counts.unlisted; break;
        case FileState::Unchecked: ++counts.unchecked; break;
        }
    counts.extra = static_cast<std::int64_t>(folder.extra.size());
    counts.faulty = std::count_if(folder.loose.begin(), folder.loose.end(), [&](std::size_t i) {
        return folder.files[i].state != FileState::Intact && folder.files[i].state != FileState::Unchecked;
    });
    counts.malformed = static_cast<std::int64_t>(folder.malformedCount);
    counts.damage = static_cast<std::int64_t>(folder.damage.size());
    return counts;
}

std::string CountsText(const CheckCounts& counts)
{
    const auto counted = [](std::int64_t n, const char* one, const char* many) {
        return Counted(static_cast<std::size_t>(n), one, many);
    };
    std::string text = counted(counts.intact, "project", "projects") + " intact, " + std::to_string(counts.changed)
                       + " changed, " + std::to_string(counts.missing) + " missing";
    if (counts.unreadable > 0)
        text += ", " + std::to_string(counts.unreadable) + " unreadable";
    if (counts.unlisted > 0)
        text += ", " + std::to_string(counts.unlisted) + " not in " + ManifestName;
    if (counts.unchecked > 0)
        text += ", " + std::to_string(counts.unchecked) + " not checked";
    text += ", " + counted(counts.extra, "extra file", "extra files");
    if (counts.faulty > 0)
        text += ", " + counted(counts.faulty, "file", "files") + " of no project not intact";
    if (counts.malformed > 0)
        text += ", " + counted(counts.malformed, "malformed line", "malformed lines");
    if (counts.damage > 0)
        text += ", " + counted(counts.damage, "fault of the disc", "faults of the disc");
    return text;
}

std::string FolderSummary(const FolderCheck& folder)
{
    return folder.name + ": " + CountsText(CountsOf(folder));
}

std::string StopSummary(const VerifyResult& result)
{
    std::size_t checked = 0, listed = 0;
    for (const auto& folder : result.folders)
        for (std::size_t i = 0; i < folder.listed; ++i) {
            ++listed;
            checked += folder.files[i].state != FileState::Unchecked ? 1 : 0;
        }
    return "Stopped: " + std::to_string(checked) + " of " + Counted(listed, "file", "files") + " checked.";
}

std::vector<std::string> VerifyLines(const VerifyResult& result)
{
    std::vector<std::string> lines;
    for (const auto& folder : result.folders)
        for (auto& line : FolderLines(folder))
            lines.push_back(std::move(line));
    for (const auto& folder : result.folders)
        lines.push_back(FolderSummary(folder));
    if (result.stopped)
        lines.push_back(StopSummary(result));
    return lines;
}

} // namespace kelvark
