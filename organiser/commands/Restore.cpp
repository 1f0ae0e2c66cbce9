#include "Restore.h"

#include "Catalogue.h"
#include "DiscLabel.h"
#include "DiscRead.h"
#include "FileHashes.h"
#include "FileOps.h"
#include "Manifest.h"
#include "Medium.h"
#include "TextCodec.h"

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace kelvark {

namespace {

namespace fs = std::filesystem;

const std::string NothingRestored = "Nothing was restored.";

// A source of the restore: a set folder or a mounted disc, or a disc image
// or the disc in a drive, with what its SHA256SUMS lists and its projects.
struct Source {
    std::string path; // a folder ending with the separator, an image, or a device
    bool disc = false;
    ListedDisc listed; // a disc's files and their extents
    std::unordered_map<std::string, std::size_t> onDisc; // a disc's files by name
    FolderCheck check; // its name, SHA256SUMS's files, then its projects
    Manifest manifest;
    FileDescriptor fd; // the folder, or the image or device
};

// A file to restore, from the source of the first project that has it.
struct Wanted {
    std::string name;
    std::size_t source = 0;
    std::size_t line = 0; // its line of the source's SHA256SUMS
    std::int64_t size = 0;
    std::string project; // the first project asked for that has it
    bool there = false; // the root folder holds its bytes already
};

// ""Blue Hour 1.wav" of Blue Hour on DVD-C", as a message names a file of a disc.
std::string OnDisc(const Wanted& file, const Source& source)
{
    return "\"" + file.name + "\" of " + file.project + " on " + source.check.name;
}

// Why project is on none of the sources: a line per disc that the catalogue
// knows it on, "Blue Hour is on DVD-C of the backup of /music of 2026-12-10:
// give that disc"; else that the catalogue does not know it, or why the
// catalogue can't tell.
std::vector<std::string> NotGiven(const std::string& project, const std::string& catalogue)
{
    const std::string none = project + " is on none of the discs given";
    std::vector<WhereRow> rows;
    // A catalogue that is not there knows nothing: none is made to be asked.
    if (!catalogue.empty()) {
        Catalogue opened;
        Result looked = opened.Open(catalogue, CatalogueUse::Read);
        if (!looked.Failed())
            looked = opened.Where(project, rows);
        if (looked.Failed())
            return {none + ".", looked.Message()};
    }
    std::vector<std::string> lines;
    for (const WhereRow& row : rows)
        if (row.project == project)
            lines.push_back(project + " is on " + row.disc.set + " of the backup of " + row.disc.root + " of "
                            + row.disc.date + ": give that disc");
    if (lines.empty())
        lines.push_back(none + ", and the catalogue does not know it.");
    return lines;
}

// Reads what each source holds, the discs listed through xorriso; the
// refusals of those that can't be read, nothing read then.
Result ReadSources(const RestoreRequest& request, Progress& progress, std::vector<Source>& sources)
{
    Result refused(NothingRestored, Result::Status::Refused);
    std::vector<DiscSource> discs;
    for (const std::string& path : request.sources) {
        if (struct stat status{}; ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode)) {
            discs.push_back({path, false});
            continue;
        }
        Source& source = sources.emplace_back();
        source.path = WithSeparator(path);
        source.check.path = source.path;
        // Named by its label's set, else by its own name (a disc's mount point's).
        source.check.name = fs::path(DiscRoot(path)).filename().string();
        source.fd = OpenFolder(source.path);
        if (source.fd.Get() < 0) {
            refused.Add("Can't read folder " + source.path + ": " + ErrorText(LastErrno()));
            continue;
        }
        if (const std::error_code error = ReadManifest(source.fd.Get(), source.manifest)) {
            const std::string reason = NotRegular(source.path + ManifestName);
            refused.Add("Can't read " + source.path + ManifestName + ": "
                        + (reason.empty() ? ErrorText(error) : reason));
            continue;
        }
        if (const auto label = ReadDiscLabel(source.fd.Get()); label && IsAnySetFolder(label->set))
            source.check.name = label->set;
        for (const auto& entry : source.manifest.entries)
            source.check.files.push_back({entry.name, FileState::Unchecked, {}});
        source.check.listed = source.check.files.size();
        if (AttributeFiles(source.check, source.path, progress).Failed())
            return Result("Stopped: " + NothingRestored, Result::Status::Stopped);
    }
    for (const std::string& drive : request.drives)
        discs.push_back({drive, true});
    VerifyResult listing;
    std::vector<ListedDisc> listed = ListDiscs(discs, progress, listing);
    if (listing.stopped)
        return Result("Stopped: " + NothingRestored, Result::Status::Stopped);
    for (const std::string& refusal : listing.refusals)
        refused.Add(refusal);
    for (ListedDisc& disc : listed) {
        Source& source = sources.emplace_back();
        source.disc = true;
        source.path = disc.source.path;
        source.listed = std::move(disc);
        for (std::size_t f = 0; f < source.listed.listing.files.size(); ++f)
            source.onDisc.emplace(source.listed.listing.files[f].name, f);
        const Result read = ReadDiscProjects(source.listed, progress, source.check, source.manifest);
        if (read.Ended() == Result::Status::Stopped)
            return Result("Stopped: " + NothingRestored, Result::Status::Stopped);
        if (read.Failed()) {
            refused.Add(read.Message());
            continue;
        }
        source.fd = OpenDisc(source.listed.source);
    }
    return refused.Lines().size() > 1 ? refused : Result();
}

// Copies file from its source into the open staging folder, hashing it as
// it goes: empty when the copy is whole and its bytes are those its
// SHA256SUMS line (and the MD5 its image recorded) say, else why not, naming
// the project and the file. done counts the bytes copied for tick, which
// returns false once the restore is to stop (stopped is then set).
std::string Stage(const Wanted& file, const Source& source, int staging, std::int64_t& done,
                  const std::function<bool(const std::string&)>& tick, bool& stopped)
{
    const FileDescriptor out(
        ::openat(staging, file.name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666));
    if (out.Get() < 0)
        return "Can't write \"" + file.name + "\" into the folder: " + ErrorText(LastErrno());
    StreamDigests digests;
    if (!digests.Ready())
        return OnDisc(file, source)
               + " can't be checked: " + ErrorText(std::error_code(ELIBACC, std::generic_category()));
    std::error_code written;
    const auto take = [&](const char* data, std::size_t size) {
        digests.Add(data, size);
        written = WriteAll(out.Get(), data, size);
        done += static_cast<std::int64_t>(size);
        stopped = !tick(source.check.name + "/" + file.name);
        return !written && !stopped;
    };
    std::string lost;
    const DiscFile* onDisc = nullptr;
    if (source.disc) {
        onDisc = &source.listed.listing.files[source.onDisc.at(file.name)];
        lost = ReadDiscFile(source.fd.Get(), source.listed.source.drive, *onDisc, take);
    } else {
        FileDescriptor in;
        struct stat status {};
        if (const std::error_code error = OpenRegular(source.fd.Get(), file.name.c_str(), in, status))
            lost = ErrorText(error);
        std::vector<char> buffer(std::size_t{1} << 20);
        for (off_t at = 0; lost.empty() && !written && !stopped;) {
            const ssize_t n = ::pread(in.Get(), buffer.data(), buffer.size(), at);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                lost = ErrorText(LastErrno());
            if (n <= 0 || !take(buffer.data(), static_cast<std::size_t>(n)))
                break;
            at += n;
        }
        // The copy keeps the time of the file on the disc.
        const timespec times[2] = {status.st_atim, status.st_mtim};
        if (lost.empty() && !written && !stopped)
            ::futimens(out.Get(), times);
    }
    if (stopped)
        return {};
    if (!lost.empty())
        return OnDisc(file, source) + " can't be read (" + lost + ")";
    if (written || ::fsync(out.Get()) != 0)
        return "Can't write \"" + file.name + "\" into the folder: " + ErrorText(written ? written : LastErrno());
    Digest sha256{};
    Md5 md5{};
    digests.Finish(sha256, md5);
    if (sha256 != source.manifest.entries[file.line].digest)
        return OnDisc(file, source) + " does not match its " + ManifestName + " line";
    if (onDisc && onDisc->md5 && *onDisc->md5 != md5)
        return OnDisc(file, source) + " does not match the MD5 its image recorded";
    return {};
}

} // namespace

std::vector<std::string> KeepChangedRestores(FilePlan& undo, Progress& progress, bool& stopped)
{
    // Each step takes a file of the root folder back among the copies.
    struct Looked {
        std::size_t unit, step;
        bool ours;
    };
    std::vector<Looked> looked;
    std::vector<HashJob> jobs;
    std::vector<std::size_t> hashed; // by job: its entry of looked
    const FileDescriptor rootFd = OpenFolder(undo.root);
    for (std::size_t k = 0; k < undo.units.size(); ++k) {
        const FileUnit& unit = undo.units[k];
        for (std::size_t i = 0; i < unit.steps.size(); ++i) {
            struct stat status {};
            if (::lstat(unit.steps[i].from.c_str(), &status) != 0 && errno == ENOENT)
                continue; // not moved, or gone: nothing of the root folder's to take
            const bool regular = S_ISREG(status.st_mode);
            looked.push_back(
                {k, i, regular && unit.placed.size() == unit.steps.size() && PlacedFile::Of(status) == unit.placed[i]});
            if (regular && !looked.back().ours && unit.sums.size() == unit.steps.size()) {
                jobs.push_back({rootFd.Get(), undo.Shown(unit.steps[i].from), undo.Shown(unit.steps[i].from)});
                hashed.push_back(looked.size() - 1);
            }
        }
    }
    const std::vector<FileHash> hashes = HashFiles(jobs, progress, stopped);
    progress.Hide();
    if (stopped)
        return {};
    for (std::size_t j = 0; j < jobs.size(); ++j) {
        Looked& file = looked[hashed[j]];
        file.ours =
            !hashes[j].error && hashes[j].read && DigestHex(hashes[j].digest) == undo.units[file.unit].sums[file.step];
    }
    std::vector<std::string> kept;
    // The undo's last step first, so that each step's place in its unit holds
    // as steps go: the files are named in the order they were restored. The
    // steps' records are not read again.
    for (auto file = looked.rbegin(); file != looked.rend(); ++file) {
        if (file->ours)
            continue;
        FileUnit& unit = undo.units[file->unit];
        const std::string name = undo.Shown(unit.steps[file->step].from);
        kept.push_back("\"" + name + "\""
                       + (unit.sums.empty() ? " is not known to be as it was restored; it stays."
                                            : " was changed since it was restored; it stays."));
        unit.steps.erase(unit.steps.begin() + static_cast<std::ptrdiff_t>(file->step));
    }
    // What is left is the restore's, known by its state or its bytes: its
    // copy's size and time, which a touch would change, judge it no more.
    for (FileUnit& unit : undo.units)
        unit.stamps.clear();
    return kept;
}

void RemoveStaging(const std::string& root)
{
    std::error_code ignored;
    fs::remove_all(root + RestoreStaging, ignored);
}

Result StageRestore(const RestoreRequest& request, Progress& progress, FilePlan& plan, RestoreStaged& staged)
{
    const std::string& root = request.root;
    // A staging folder that a killed run left holds copies of discs' files only.
    RemoveStaging(root);
    std::vector<Source> sources;
    if (Result read = ReadSources(request, progress, sources); read.Failed())
        return read;

    // The projects asked for, each from the first source that holds it.
    struct Chosen {
        std::size_t source;
        const ProjectCheck* project;
    };
    std::vector<Chosen> chosen;
    Result refused(NothingRestored, Result::Status::Refused);
    const auto find = [&](const std::string& name) {
        for (std::size_t s = 0; s < sources.size(); ++s)
            for (const ProjectCheck& project : sources[s].check.projects)
                if (project.name == name)
                    return Chosen{s, &project};
        return Chosen{0, nullptr};
    };
    if (request.projects.empty()) {
        std::vector<std::string> names;
        for (const Source& source : sources)
            for (const ProjectCheck& project : source.check.projects)
                if (std::find(names.begin(), names.end(), project.name) == names.end())
                    names.push_back(project.name);
        for (const std::string& name : names)
            chosen.push_back(find(name));
        if (chosen.empty())
            return Result("Nothing to restore: the sources given hold no project.", Result::Status::Refused);
    }
    for (const std::string& name : request.projects) {
        if (std::any_of(chosen.begin(), chosen.end(), [&](const Chosen& each) { return each.project->name == name; }))
            continue;
        if (const Chosen found = find(name); found.project)
            chosen.push_back(found);
        else
            for (std::string& line : NotGiven(name, request.catalogue))
                refused.Add(std::move(line));
    }

    // Every file of the projects, once; projects that share a file are one
    // unit, restored together or not at all.
    std::vector<Wanted> files;
    std::unordered_map<std::string, std::size_t> byName;
    std::vector<std::size_t> unitOf; // by chosen project
    for (std::size_t c = 0; c < chosen.size(); ++c) {
        Source& source = sources[chosen[c].source];
        const FolderCheck& check = source.check;
        unitOf.push_back(c);
        for (const std::size_t i : chosen[c].project->files) {
            const CheckedFile& listed = check.files[i];
            Wanted file{listed.name, chosen[c].source, i, 0, chosen[c].project->name, false};
            if (i >= check.listed) {
                refused.Add(OnDisc(file, source)
                            + (listed.state == FileState::Missing
                                   ? " is missing."
                                   : " is not in its " + ManifestName + ": it can't be checked."));
                continue;
            }
            // A folder's ordinary files only: no file of the disc's folders,
            // no hidden one (Kelvark's own files in the root folder among them).
            if (listed.name.find('/') != std::string::npos || listed.name.starts_with('.')) {
                refused.Add(OnDisc(file, source) + " can't be restored: it is hidden or lies in a folder of the disc.");
                continue;
            }
            std::error_code error;
            if (source.disc) {
                const auto found = source.onDisc.find(listed.name);
                if (found == source.onDisc.end())
                    error = std::make_error_code(std::errc::no_such_file_or_directory);
                else
                    for (const DiscExtent& extent : source.listed.listing.files[found->second].extents)
                        file.size += extent.bytes;
            } else {
                error = FileLength(source.fd.Get(), listed.name.c_str(), file.size);
            }
            if (error) {
                refused.Add(OnDisc(file, source)
                            + (error == std::errc::no_such_file_or_directory ? " is missing."
                                                                             : " can't be read: " + ErrorText(error)));
                continue;
            }
            const auto [at, added] = byName.emplace(file.name, files.size());
            if (added) {
                files.push_back(std::move(file));
                continue;
            }
            const Wanted& first = files[at->second];
            if (sources[first.source].manifest.entries[first.line].digest != source.manifest.entries[i].digest)
                refused.Add(OnDisc(first, sources[first.source]) + " and " + OnDisc(file, source)
                            + " are other files of one name: restore them into different folders.");
            // The projects that have it go together.
            const std::size_t other =
                unitOf[std::find_if(chosen.begin(), chosen.end(),
                                    [&](const Chosen& each) { return each.project->name == first.project; })
                       - chosen.begin()];
            const std::size_t from = std::max(unitOf[c], other), into = std::min(unitOf[c], other);
            std::replace(unitOf.begin(), unitOf.end(), from, into);
        }
    }

    // The root folder's files of those names: missing, or the same bytes.
    const FileDescriptor rootFd = OpenFolder(root);
    if (rootFd.Get() < 0)
        return Result("Can't read folder " + root + ": " + ErrorText(LastErrno()), Result::Status::Refused);
    std::vector<HashJob> jobs;
    std::vector<std::size_t> hashed;
    for (std::size_t f = 0; f < files.size(); ++f) {
        const Wanted& file = files[f];
        struct stat status {};
        if (::fstatat(rootFd.Get(), file.name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT)
            continue;
        const std::string reason = NotRegular(root + file.name);
        if (!reason.empty() || status.st_size != file.size) {
            refused.Add(root + file.name
                        + (reason.empty()
                               ? " holds other bytes than " + OnDisc(file, sources[file.source]) + "."
                               : " is in the way of " + OnDisc(file, sources[file.source]) + ": " + reason + "."));
            continue;
        }
        jobs.push_back({rootFd.Get(), file.name, root + file.name});
        hashed.push_back(f);
    }
    bool stopped = false;
    const std::vector<FileHash> hashes = HashFiles(jobs, progress, stopped);
    progress.Hide();
    if (stopped)
        return Result("Stopped: " + NothingRestored, Result::Status::Stopped);
    for (std::size_t j = 0; j < hashed.size(); ++j) {
        Wanted& file = files[hashed[j]];
        const Source& source = sources[file.source];
        if (hashes[j].error)
            refused.Add("Can't read " + root + file.name + ": " + ErrorText(hashes[j].error));
        else if (hashes[j].digest != source.manifest.entries[file.line].digest)
            refused.Add(root + file.name + " holds other bytes than " + OnDisc(file, source) + ".");
        else
            file.there = true;
    }
    if (refused.Lines().size() > 1)
        return refused;

    // The copies, each checked as it is made, into the staging folder.
    std::int64_t total = 0, done = 0;
    for (const Wanted& file : files)
        total += file.there ? 0 : file.size;
    constexpr std::int64_t MiB = 1 << 20;
    const int units = static_cast<int>(std::max<std::int64_t>(1, (total + MiB - 1) / MiB));
    progress.Startup(units);
    const auto began = std::chrono::steady_clock::now();
    auto told = began - std::chrono::seconds(1);
    const auto tick = [&](const std::string& shown) {
        const auto now = std::chrono::steady_clock::now();
        if (now - told < std::chrono::milliseconds(100))
            return !progress.StopRequested();
        told = now;
        const std::chrono::duration<double> seconds = now - began;
        return progress.OK(static_cast<int>(std::min<std::int64_t>(done / MiB, units - 1)),
                           ReadingProgress(done, total, seconds.count(), shown));
    };
    const std::string staging = root + RestoreStaging;
    if (::mkdir(staging.c_str(), 0777) != 0)
        return Result("Can't make the folder " + staging + ": " + ErrorText(LastErrno()) + ". " + NothingRestored);
    const FileDescriptor stagingFd = OpenFolder(staging);
    // A disc's files are read in the order they lie on it, so that a drive
    // seeks as little as it can.
    std::vector<const Wanted*> order;
    for (const Wanted& file : files)
        if (!file.there)
            order.push_back(&file);
    const auto firstSector = [&](const Wanted* file) -> std::int64_t {
        const Source& source = sources[file->source];
        if (!source.disc)
            return 0;
        const std::vector<DiscExtent>& extents = source.listed.listing.files[source.onDisc.at(file->name)].extents;
        return extents.empty() ? 0 : extents.front().sector;
    };
    std::stable_sort(order.begin(), order.end(), [&](const Wanted* a, const Wanted* b) {
        return a->source != b->source ? a->source < b->source : firstSector(a) < firstSector(b);
    });
    for (const Wanted* each : order) {
        const Wanted& file = *each;
        const std::string failure = stagingFd.Get() < 0
                                        ? "Can't open the folder " + staging + ": " + ErrorText(LastErrno())
                                        : Stage(file, sources[file.source], stagingFd.Get(), done, tick, stopped);
        if (stopped || !failure.empty()) {
            RemoveStaging(root);
            progress.Hide();
            return stopped ? Result("Stopped: " + NothingRestored, Result::Status::Stopped)
                           : Result(failure + ". " + NothingRestored);
        }
        ++staged.files;
    }
    progress.Hide();
    SyncFolder(staging);

    // One unit per project, or per projects that share a file.
    plan.kind = Operation::Restore;
    plan.root = root;
    plan.folders = {RestoreStaging};
    plan.makesFolders = false;
    std::unordered_map<std::size_t, std::size_t> unitAt; // unitOf's value -> plan's unit
    for (std::size_t c = 0; c < chosen.size(); ++c) {
        const auto [at, added] = unitAt.emplace(unitOf[c], plan.units.size());
        if (added)
            plan.units.emplace_back();
        FileUnit& unit = plan.units[at->second];
        unit.names.push_back(chosen[c].project->name);
        for (const std::size_t i : chosen[c].project->files) {
            const Wanted& file = files[byName.at(sources[chosen[c].source].check.files[i].name)];
            if (file.there || file.project != chosen[c].project->name)
                continue;
            unit.steps.push_back({staging + "/" + file.name, root + file.name, StepKind::Move});
            unit.sums.push_back(DigestHex(sources[file.source].manifest.entries[file.line].digest));
            // The copy as checked: recover moves back no file that changed since.
            struct stat status {};
            ::lstat(unit.steps.back().from.c_str(), &status);
            unit.stamps.push_back({status.st_size, status.st_mtim.tv_sec});
        }
        // A project whose files another project of its unit brings is restored with it.
        const bool whole =
            std::all_of(chosen[c].project->files.begin(), chosen[c].project->files.end(), [&](std::size_t i) {
                return files[byName.at(sources[chosen[c].source].check.files[i].name)].there;
            });
        (whole ? staged.already : staged.restored).push_back(chosen[c].project->name);
    }
    std::erase_if(plan.units, [](const FileUnit& unit) { return unit.steps.empty(); });
    return {};
}

Result RestoredText(const RestoreStaged& staged, const std::string& root)
{
    Result result;
    if (!staged.restored.empty())
        result.Add("Restored " + NamedList(staged.restored) + " into " + root + ": "
                   + Counted(staged.files, "file.", "files."));
    if (!staged.already.empty())
        result.Add(NamedList(staged.already) + (staged.already.size() == 1 ? " was" : " were") + " in " + root
                   + " already.");
    return result;
}

} // namespace kelvark
