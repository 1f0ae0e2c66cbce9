#include "DiscImage.h"

#include "DiscLabel.h"
#include "DiscRead.h"
#include "FileHashes.h"
#include "FileOps.h"
#include "Manifest.h"
#include "Regional.h"
#include "Xorriso.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace fs = std::filesystem;

namespace kelvark {

namespace {

// The size xorriso's -print_size gives, "Image size   : 146671s"; -1 when
// none of the lines gives one a disc can hold (a disc's sectors are counted
// in 32 bits).
std::int64_t ImageSize(const std::vector<std::string>& results)
{
    constexpr std::string_view label = "Image size";
    for (const std::string& line : results) {
        if (!line.starts_with(label) || line.back() != 's')
            continue;
        const std::size_t colon = line.find(':');
        std::string_view digits = colon == std::string::npos ? "" : std::string_view(line).substr(colon + 1);
        digits.remove_suffix(std::min<std::size_t>(1, digits.size()));
        digits.remove_prefix(std::min(digits.find_first_not_of(' '), digits.size()));
        std::int64_t sectors = -1;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), sectors);
        if (!digits.empty() && error == std::errc() && end == digits.data() + digits.size() && sectors >= 0)
            return sectors <= INT32_MAX ? sectors : -1;
    }
    return -1;
}

// What recording an MD5 of each of files files adds to an image beyond the
// size xorriso's -print_size foresees: the attribute in each file's directory
// record that points at its checksum (at most 48 bytes with what it takes of
// the directory's blocks), and the session's checksum tags.
std::int64_t Md5Allowance(std::int64_t files)
{
    return (files * 48 + SectorSize - 1) / SectorSize + 2;
}

// The day of the folder's last change in local time, "2026-12-10"; empty
// when it can't be looked up.
std::string ChangeDay(int folder)
{
    struct stat status {};
    std::tm local{};
    char day[16];
    if (::fstat(folder, &status) != 0 || localtime_r(&status.st_mtime, &local) == nullptr
        || std::strftime(day, sizeof day, "%Y-%m-%d", &local) == 0)
        return {};
    return day;
}

// The medium the first of Media() with the prefix names: a CD-A folder was
// sorted for a CD.
const Medium* MediumOfPrefix(const std::string& prefix)
{
    for (const Medium& medium : Media())
        if (medium.prefix == prefix)
            return &medium;
    return nullptr;
}

// part of whole in thousandths, 999 at most: the last is shown once all is done.
int Thousandths(std::int64_t part, std::int64_t whole)
{
    return static_cast<int>(std::min<std::int64_t>(999, part * 1000 / std::max<std::int64_t>(whole, 1)));
}

} // namespace

std::int64_t BurnSectors(const SetDisc& set)
{
    return set.sectors + BurnPaddingSectors;
}

std::string PlanDisc(const std::string& root, const std::string& name, const Progress& stop, SetDisc& set,
                     bool& stopped)
{
    set.name = name;
    set.folder = root + name + "/";
    const FileDescriptor folder = OpenFolder(set.folder);
    if (folder.Get() < 0)
        return "Can't read " + set.folder + ": " + ErrorText(LastErrno());

    std::error_code error;
    bool sums = false;
    std::int64_t files = 0;
    for (fs::directory_iterator it(set.folder, error), end; !error && it != end; it.increment(error)) {
        const std::string file = it->path().filename().string();
        if (const std::string why = NotRegular(it->path().string()); !why.empty())
            return name + " holds \"" + file + "\", which a disc of the set can't hold: " + why + ".";
        sums = sums || file == ManifestName;
        ++files;
    }
    if (error)
        return "Can't read " + set.folder + ": " + ErrorText(error);
    if (!sums)
        return name + " holds no " + ManifestName + ": write its checksums first, so that its disc carries them.";

    std::string day;
    if (const std::optional<DiscLabel> label = ReadDiscLabel(folder.Get())) {
        day = label->date;
        if (MediumNamed(label->medium, set.medium).Failed())
            return name + "'s " + DiscLabelName + " names no medium Kelvark knows: \"" + label->medium + "\".";
    } else {
        const std::string prefix = name.substr(0, name.find('-'));
        const Medium* medium = MediumOfPrefix(prefix);
        if (medium == nullptr)
            return name + " holds no " + DiscLabelName + ": the size of its disk is unknown.";
        set.medium = *medium;
        day = ChangeDay(folder.Get());
    }
    set.volumeId = VolumeId(name, day);

    std::vector<std::string> arguments = DiscArguments(set.folder, set.volumeId, "stdio:/dev/null");
    // -rollback_end: without it, xorriso would write the image it measured
    // to the output device at its end.
    arguments.insert(arguments.end(), {"-print_size", "-rollback_end"});
    const XorrisoRun run = RunXorriso(arguments, stop);
    stopped = run.stopped;
    set.measured = run.Succeeded() ? ImageSize(run.results) : -1;
    set.sectors = set.measured;
    if (set.sectors >= 0)
        set.sectors += Md5Allowance(files);
    if (stopped)
        return {};
    if (set.sectors < 0)
        return "Can't measure the image of " + name + ": "
               + (run.Succeeded() ? "xorriso gave no size a disc can hold." : run.Problem());
    if (BurnSectors(set) > set.medium.sectors)
        return name + " does not fit: its disc needs up to " + Grouped(BurnSectors(set), ",")
               + " sectors, more than the " + Grouped(set.medium.sectors, ",") + " of one " + set.medium.name + ".";
    return {};
}

std::vector<std::string> DiscArguments(const std::string& setFolder, const std::string& volumeId,
                                       const std::string& outdev)
{
    // A problem makes exit status 32, a failure ends the run at once.
    std::vector<std::string> words{"-abort_on", "FAILURE", "-return_with", "SORRY", "32"};
    words.insert(words.end(), {"-outdev", outdev, "-volid", volumeId, "-joliet", "on", "-rockridge", "on"});
    // Level 3: a file of 4 GiB or more in several extents. One plain session
    // from the first sector, without the emulated table of sessions.
    words.insert(words.end(), {"-compliance", "iso_9660_level=3:no_emul_toc", "-md5", "on"});
    words.insert(words.end(), {"-map", setFolder, "/"});
    // SHA256SUMS, the label and the project files lie first, so that a disc
    // whose end can't be read still tells what its readable files are.
    words.insert(words.end(), {"-find", "/", "-name", ManifestName, "-exec", "sort_weight", "3", "--"});
    words.insert(words.end(), {"-find", "/", "-name", DiscLabelName, "-exec", "sort_weight", "2", "--"});
    words.insert(words.end(), {"-find", "/", "-name", "*.[cC][uU][eE]", "-exec", "sort_weight", "1", "--"});
    return words;
}

std::string VolumeId(std::string_view set, std::string_view date)
{
    std::string id = std::string(set) + (date.empty() ? "" : " ") + std::string(date);
    id.resize(std::min<std::size_t>(id.size(), 32));
    for (char& c : id) {
        const auto u = static_cast<unsigned char>(c);
        c = std::isalnum(u) != 0 && u < 0x80 ? static_cast<char>(std::toupper(u)) : '_';
    }
    return id;
}

namespace {

// The quoted names of a kind of mismatch: "changed "a.wav", "b.wav"", the
// first few and how many more.
void AddNamed(std::string& text, const std::string& kind, const std::vector<std::string>& names)
{
    constexpr std::size_t Shown = 5;
    if (names.empty())
        return;
    text += (text.empty() ? "" : "; ") + kind;
    for (std::size_t i = 0; i < std::min(names.size(), Shown); ++i)
        text += (i == 0 ? " \"" : ", \"") + names[i] + "\"";
    if (names.size() > Shown)
        text += " and " + std::to_string(names.size() - Shown) + " more";
}

bool NotBefore(const timespec& a, const timespec& b)
{
    return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec >= b.tv_nsec;
}

} // namespace

std::string ManifestMismatch(const SetDisc& set, Progress& progress, bool& stopped)
{
    const FileDescriptor folder = OpenFolder(set.folder);
    Manifest manifest;
    struct stat sums {};
    std::error_code error = folder.Get() < 0 ? LastErrno() : ReadManifest(folder.Get(), manifest);
    if (!error && ::fstatat(folder.Get(), ManifestName.c_str(), &sums, AT_SYMLINK_NOFOLLOW) != 0)
        error = LastErrno();
    if (error)
        return "Can't read " + set.folder + ManifestName + ": " + ErrorText(error);
    std::unordered_map<std::string, const Digest*> listed;
    for (const ManifestEntry& entry : manifest.entries)
        listed.emplace(entry.name, &entry.digest);

    std::vector<std::string> unlisted, missing, changed, unreadable;
    std::vector<HashJob> suspects;
    std::vector<const Digest*> expected;
    for (fs::directory_iterator it(set.folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        struct stat status {};
        if (name == ManifestName || ::fstatat(folder.Get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        const auto found = listed.find(name);
        if (found == listed.end()) {
            unlisted.push_back(name);
            continue;
        }
        if (NotBefore(status.st_ctim, sums.st_mtim)) {
            suspects.push_back({folder.Get(), name, set.name + ": " + name});
            expected.push_back(found->second);
        }
        listed.erase(found);
    }
    if (error)
        return "Can't read " + set.folder + ": " + ErrorText(error);
    for (const ManifestEntry& entry : manifest.entries)
        if (listed.contains(entry.name))
            missing.push_back(entry.name);
    const std::vector<FileHash> hashes = HashFiles(suspects, progress, stopped);
    if (stopped)
        return {};
    for (std::size_t i = 0; i < suspects.size(); ++i)
        if (!hashes[i].read)
            unreadable.push_back(suspects[i].path);
        else if (hashes[i].digest != *expected[i])
            changed.push_back(suspects[i].path);

    std::string text;
    AddNamed(text, "changed since its checksums were written", changed);
    AddNamed(text, "unreadable", unreadable);
    AddNamed(text, "missing", missing);
    AddNamed(text, "not in " + std::string(ManifestName), unlisted);
    if (manifest.malformedCount > 0)
        text += (text.empty() ? "" : "; ") + std::to_string(manifest.malformedCount)
                + (manifest.malformedCount == 1 ? " malformed line" : " malformed lines");
    return text.empty() ? std::string() : set.name + " does not match its " + ManifestName + ": " + text + ".";
}

ImagePlan PlanImages(const std::string& root, const std::string& into, const std::vector<std::string>& names,
                     Progress& progress)
{
    ImagePlan plan;
    std::error_code error;
    const std::vector<std::string> folders = SetFolders(root, SetPrefixes(), error);
    if (error) {
        plan.refusals.push_back("Can't read " + root + ": " + ErrorText(error));
        return plan;
    }
    if (!into.empty() && !fs::is_directory(into, error)) {
        plan.refusals.push_back("Can't write images into " + into + ": "
                                + (error ? ErrorText(error) : "it is not a folder") + ".");
        return plan;
    }
    for (const std::string& name : names)
        if (std::find(folders.begin(), folders.end(), name) == folders.end())
            plan.refusals.push_back("No set folder " + name + " in " + root + ".");
    // The sets named, in set order, as their discs go.
    std::vector<std::string> chosen = folders;
    if (!names.empty())
        std::erase_if(chosen, [&](const std::string& name) {
            return std::find(names.begin(), names.end(), name) == names.end();
        });
    if (chosen.empty()) {
        if (plan.refusals.empty())
            plan.refusals.push_back("No set folders in " + root + ".");
        return plan;
    }

    progress.Startup(static_cast<int>(chosen.size()));
    for (std::size_t k = 0; k < chosen.size(); ++k) {
        if (!progress.OK(static_cast<int>(k), "Measuring " + chosen[k])) {
            plan.stopped = true;
            return plan;
        }
        SetDisc set;
        set.image = into.empty() ? "" : into + chosen[k] + ".iso";
        if (!set.image.empty() && EntryExists(set.image)) {
            plan.refusals.push_back(set.image + " is there already: an image is never replaced.");
            continue;
        }
        std::string refusal = PlanDisc(root, chosen[k], progress, set, plan.stopped);
        if (refusal.empty() && !plan.stopped)
            refusal = ManifestMismatch(set, progress, plan.stopped);
        if (plan.stopped)
            return plan;
        if (!refusal.empty())
            plan.refusals.push_back(refusal);
        else
            plan.sets.push_back(std::move(set));
    }
    return plan;
}

XorrisoRun RunWriting(const std::vector<std::string>& arguments, const std::string& text, std::int64_t done,
                      std::int64_t total, Progress& progress, std::chrono::milliseconds grace)
{
    int amount = Thousandths(done, total);
    std::string shown = text;
    return RunXorriso(
        arguments, progress,
        [&](const XorrisoLine& line) {
            if (const std::optional<XorrisoWriting> writing = WritingProgress(line.text)) {
                amount = Thousandths(done + writing->sectors, total);
                shown = text + ": " + WritingText(*writing);
            }
            progress.Show(amount, shown);
        },
        grace, XorrisoLimitFor((total - done) * SectorSize));
}

namespace {

// Reads back the image written as temp for set, as a burnt disc is read, and
// appends its check to checks under the image's path. Empty when it is
// whole; else why not, its check's lines first, or what the stop left.
std::string ReadBackImage(const SetDisc& set, const fs::path& temp, Progress& progress, VerifyResult& checks,
                          std::vector<std::string>& lines, bool& stopped)
{
    VerifyResult read = ReadBack("stdio:" + temp.string(), progress);
    stopped = read.stopped;
    if (stopped)
        return "Stopped while " + set.image + " was read back: it was removed.";
    if (!read.refusals.empty())
        return "Can't write " + set.image + ": it can't be read back: " + read.refusals.front();
    bool whole = !read.folders.empty();
    for (FolderCheck& folder : read.folders) {
        // Read from its temporary: a disc without a label is named by its image.
        folder.path = set.image;
        if (!folder.label)
            folder.name = fs::path(set.image).filename().string();
        for (std::string& line : FolderLines(folder))
            lines.push_back(std::move(line));
        lines.push_back(FolderSummary(folder));
        whole = whole && Whole(folder);
        checks.folders.push_back(std::move(folder));
    }
    return whole ? std::string()
                 : "Can't write " + set.image + ": its read-back found it no whole copy of " + set.name + ".";
}

} // namespace

Result WriteImages(const ImagePlan& plan, Progress& progress, VerifyResult& checks)
{
    std::int64_t total = 0;
    for (const SetDisc& set : plan.sets) {
        total += set.sectors;
        // Under the folder's lock: a temporary of a dead run is no one's.
        RemoveOrphanTemps(fs::path(set.image).parent_path().string());
    }

    Result written;
    std::int64_t done = 0;
    progress.Startup(1000);
    for (const SetDisc& set : plan.sets) {
        const std::string shown = fs::path(set.image).filename().string();
        if (!progress.OK(Thousandths(done, total), shown)) {
            written.Add("Stopped before " + set.image + " was written.");
            return Result(written.Message(), Result::Status::Stopped);
        }
        fs::path temp;
        const int fd = CreateHiddenTemp(set.image, temp, 0644);
        if (fd < 0) {
            written.Add("Can't write " + set.image + ": " + ErrorText(LastErrno()));
            return Result(written.Message());
        }
        std::vector<std::string> arguments = DiscArguments(set.folder, set.volumeId, "stdio:" + temp.string());
        arguments.push_back("-commit");
        const XorrisoRun run = RunWriting(arguments, shown, done, total, progress);
        std::int64_t length = 0;
        std::string failure = run.Problem();
        if (const std::error_code error = FileLength(temp, length); failure.empty() && error)
            failure = ErrorText(error);
        else if (failure.empty() && length > set.sectors * SectorSize)
            failure = "xorriso wrote " + Grouped(length / SectorSize, ",") + " sectors, more than the "
                      + Grouped(set.sectors, ",") + " it measured.";
        else if (failure.empty() && length < set.measured * SectorSize)
            failure = "xorriso wrote " + Grouped(length / SectorSize, ",") + " sectors, fewer than the "
                      + Grouped(set.measured, ",") + " it measured.";
        if (!failure.empty()) {
            ::close(fd);
            RemoveFile(temp);
            if (run.stopped) {
                written.Add("Stopped while " + set.image + " was written: the part written was removed.");
                return Result(written.Message(), Result::Status::Stopped);
            }
            written.Add("Can't write " + set.image + ": " + failure);
            return Result(written.Message());
        }
        // Written means read back: only a whole copy of the set takes the image's name.
        std::vector<std::string> read;
        bool stopped = false;
        const std::string unread = ReadBackImage(set, temp, progress, checks, read, stopped);
        progress.Startup(1000);
        if (!unread.empty()) {
            ::close(fd);
            RemoveFile(temp);
            for (const std::string& line : read)
                written.Add(line);
            written.Add(unread);
            return Result(written.Message(), stopped ? Result::Status::Stopped : Result::Status::Failed);
        }
        if (const std::error_code error = CommitTemp(fd, temp, set.image, false)) {
            written.Add("Can't write " + set.image + ": " + ErrorText(error));
            return Result(written.Message());
        }
        SyncFolder(fs::path(set.image).parent_path().string());
        done += set.sectors;
        written.Add("Wrote " + set.image + ": " + Grouped(length / SectorSize, ",") + " sectors of one "
                    + set.medium.name + "'s " + Grouped(set.medium.sectors, ",") + ".");
        for (const std::string& line : read)
            written.Add(line);
    }
    progress.Hide();
    return written;
}

} // namespace kelvark
