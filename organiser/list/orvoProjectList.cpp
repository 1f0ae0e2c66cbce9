#include "orvoProjectList.h"

#include "FileOps.h"
#include "ReadAhead.h"
#include "SectorCost.h"
#include "SetLetters.h"
#include "TextCodec.h"

#include <algorithm>
#include <map>
#include <memory>
#include <new>
#include <span>
#include <system_error>
#include <unordered_map>
#include <utility>

namespace kelvark {

namespace {

// What a file that several projects play costs beyond once, when each of
// them counted it (position in the list, cost): all of their costs but the largest.
std::int64_t CountedOverOnce(std::span<const std::pair<int, std::int64_t>> players)
{
    std::int64_t sum = 0, most = 0;
    for (const auto& [player, cost] : players) {
        sum += cost;
        most = std::max(most, cost);
    }
    return sum - most;
}

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
    // A read-only project is copied whole, whatever its regions use.
    if (project.ReadOnly)
        return "-";
    if (project.samples != 0)
        return std::to_string(RoundHalfAway(project.samplesUsed * 100, project.samples)) + "%";
    return "ERR";
}

// A project file's name without its extension, ASCII letters folded to lower case.
std::string FoldedName(const std::string& file)
{
    return AsciiFolded(std::string_view(file).substr(0, file.size() - 4));
}

// The first wave name that would leave the folder; none when every one stays in it.
std::optional<std::string> FirstInvalidWave(const orvoProject& project)
{
    for (int i = 0; i < project.WaveCount(); ++i)
        if (!orvoWave::IsValidName(project.WaveName(i)))
            return std::string(project.WaveName(i));
    return std::nullopt;
}

} // namespace

bool orvoProjectList::ReadFolder(const std::string& RootFolder, bool chkMix, bool chkRegular)
{
    LastError.clear();
    readFrom = RootFolder;
    readStopped = false;
    if (RootFolder.empty()) {
        LastError = "No root folder chosen.";
        return true;
    }
    projects.Clear();

    // One listing of the folder serves the whole scan: the project files here,
    // and every project's own files and waves later.
    const auto listing = std::make_shared<const FolderListing>(RootFolder);
    bool failed = false;
    if (listing->Error()) {
        // A folder that cannot be listed is an error, not an empty folder.
        failed = true;
        AddFolderError(LastError, "Can't read folder " + RootFolder + ": " + ErrorText(listing->Error()));
    }
    std::vector<std::shared_ptr<orvoProject>> leftOut;
    { // the counts live only while the projects are made, not through the read
        // Project files whose names differ only in letter case are one project
        // where the folder was written: none of them can be told apart.
        const std::vector<std::string> files = listing->ProjectFiles();
        std::map<std::string, int> folded;
        for (const auto& file : files)
            ++folded[FoldedName(file)];
        const auto sameNameError = [&](const std::string& file) {
            return folded[FoldedName(file)] > 1
                       ? "Can't open CUE file " + file
                             + ": another project file has the same name in another letter case"
                       : std::string();
        };
        for (const auto& file : files) {
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
    }

    // The project files and the waves are opened relative to one descriptor
    // of the folder.
    const FileDescriptor root = OpenFolder(RootFolder);
    const int folder = root.Get() >= 0 ? root.Get() : AT_FDCWD;
    // Read one at a time, the project files are announced to the kernel a few
    // projects ahead of their reading, so a cold disk has the next ones under way.
    const bool oneAtATime = requestsInFlight <= 1;
    constexpr int ProjectsAhead = 8;
    const auto announce = [&](int i) {
        if (!oneAtATime || root.Get() < 0 || i >= projects.Count())
            return;
        if (const auto file = listing->ProjectFile(projects.Item(i)->Name))
            OpenAhead(root.Get(), *file, 0);
    };
    for (int i = 0; i < ProjectsAhead; ++i)
        announce(i);

    ui.progress.Hide();
    ui.progress.Startup(projects.Count());
    // One at a time, each project is read at its turn on this thread; else
    // many files are under way at once, read ahead of their projects' turns.
    // A project whose file has the name of another one is not read.
    TagFile fi; // one for every project file, so its buffer is made once
    MemoryProbe probe;
    const auto readHere = [&](orvoProject& project) {
        if (project.FileOpenRead(fi, folder))
            return ReadAhead::Outcome::NotOpened;
        project.FileRead(fi);
        return project.GetWaveInfo(folder, probe) ? ReadAhead::Outcome::WaveFailed : ReadAhead::Outcome::Read;
    };
    const auto readAhead = [&](const auto& list, bool measure) -> std::unique_ptr<ReadAhead> {
        std::vector<orvoProject*> readable;
        for (const auto& project : list)
            if (project->LastError.empty())
                readable.push_back(project.get());
        if (oneAtATime || readable.empty())
            return nullptr;
        try {
            return std::make_unique<ReadAhead>(readable, folder, std::min(requestsInFlight, MaxRequestsInFlight),
                                               measure);
        } catch (const std::system_error&) { // no thread could start: the projects are read here
            return nullptr;
        } catch (const std::bad_alloc&) { // no room to start the read: the same
            return nullptr;
        }
    };
    auto ahead = readAhead(projects, true);
    int done = 0;
    std::vector<orvoProject*> listed;
    bool stopped = false; // by the user
    for (const auto& project : projects) {
        if (!ui.progress.OK(done, project->Name)) {
            stopped = true;
            break;
        }
        announce(done + ProjectsAhead);
        if (!project->LastError.empty()) { // the same name as another project file
            failed = true;
            AddFolderError(LastError, project->LastError);
        } else {
            // While a project read ahead is awaited, the user is asked again
            // whether to go on.
            const auto cancelled = [&] { return !ui.progress.OK(done, project->Name); };
            const ReadAhead::Outcome result = ahead ? ahead->Take(*project, cancelled) : ReadAhead::Outcome::Unread;
            switch (result == ReadAhead::Outcome::Unread ? readHere(*project) : result) {
            case ReadAhead::Outcome::Stopped: stopped = true; break;
            case ReadAhead::Outcome::NotOpened:
                failed = true;
                project->ReadFailure = project->LastError;
                AddFolderError(LastError, project->LastError);
                break;
            case ReadAhead::Outcome::WaveFailed:
                failed = true;
                AddFolderError(LastError, project->LastError);
                [[fallthrough]];
            case ReadAhead::Outcome::Read:
            case ReadAhead::Outcome::Unread: // read here: never the answer of readHere
                std::string().swap(project->ReadFailure); // read: the text's room goes too
                break;
            }
        }
        if (stopped)
            break;
        ++done;
    }
    readStopped = stopped;
    if (stopped && ahead) // the user does not wait for a file that does not answer
        ReadAhead::Abandon(std::move(ahead));
    ahead.reset(); // the threads end, and what was read ahead and not taken goes
    ahead = readAhead(leftOut, false);
    for (const auto& project : projects)
        listed.push_back(project.get());
    // What the projects left out play stays theirs: their waves are found, not measured.
    const auto findHere = [&](orvoProject& project) {
        if (project.FileOpenRead(fi, folder))
            return ReadAhead::Outcome::NotOpened;
        project.FileRead(fi);
        project.ListWaves();
        return ReadAhead::Outcome::Read;
    };
    for (const auto& project : leftOut) {
        if (!project->LastError.empty())
            continue;
        const ReadAhead::Outcome result = ahead ? ahead->Take(*project) : ReadAhead::Outcome::Unread;
        if ((result == ReadAhead::Outcome::Unread ? findHere(*project) : result) == ReadAhead::Outcome::NotOpened)
            continue;
        project->KeepWaves();
        std::string().swap(project->ReadFailure);
    }
    ahead.reset();
    if (const Result refused = owners.Build(listing, listed, std::move(leftOut)); refused.Failed()) {
        // No file could be told whose it is: no project is kept to plan or move.
        projects.Clear();
        AddFolderError(LastError, "Can't read folder " + RootFolder + ": " + refused.Message());
        return true;
    }
    return failed;
}

void AddFolderError(std::string& listing, const std::string& line)
{
    listing += listing.empty() ? "Errors for this folder: \r\n\r\n  " : "\r\n  ";
    listing += line;
}

std::string NotReadText(const orvoProject& project)
{
    return "Project " + project.Name + " was not read: " + project.ReadFailure;
}

std::vector<orvoProjectList::Share> orvoProjectList::Shares() const
{
    std::vector<Share> shares;
    const std::vector<FolderOwners::SharedFile> files = owners.SharedFiles();
    if (files.empty())
        return shares;
    std::unordered_map<const orvoProject*, int> positions;
    for (int i = 0; i < projects.Count(); ++i)
        positions.emplace(projects.Item(i).get(), i);
    // The files by their places in the listing, where the players' waves find
    // them; each player's waves are walked once for the costs it counts.
    std::unordered_map<std::size_t, std::size_t> byPlace;
    std::vector<int> sharing;
    for (std::size_t k = 0; k < files.size(); ++k) {
        const FolderOwners::SharedFile& file = files[k];
        byPlace.emplace(file.position, k);
        for (const orvoProject* player : file.players)
            if (const auto found = positions.find(player); found != positions.end())
                sharing.push_back(found->second);
    }
    std::sort(sharing.begin(), sharing.end());
    sharing.erase(std::unique(sharing.begin(), sharing.end()), sharing.end());
    shares.resize(files.size());
    for (const int p : sharing) {
        const orvoProject& project = *projects.Item(p);
        for (int i = 0; i < project.WaveCount(); ++i) {
            const auto place = byPlace.find(project.WavePosition(i));
            if (place == byPlace.end())
                continue;
            auto& players = shares[place->second].players;
            if (players.empty() || players.back().first != p) // two names of one file count once
                players.emplace_back(p, DiscCost(project.WaveSize(i), owners.Scanned()->Name(place->first)));
        }
    }
    std::erase_if(shares, [](const Share& share) { return share.players.size() < 2; });
    return shares;
}

void orvoProjectList::CalcBackup(const Medium& ForMedium)
{
    medium = ForMedium;
    // Each set's SHA256SUMS and label take their share first, and the
    // padding a burn writes after the image.
    const std::int64_t budget = ProjectsRoom(medium.budget);
    numBackups = 0;
    sharedNoSet.clear();

    // Projects that play a common file go into one set: they are planned as
    // one project, as large as they are together with each shared file counted
    // once, at the place in the list of the first of them. They are joined
    // group by group (union-find), the first project of a group its root.
    const auto count = static_cast<std::size_t>(projects.Count());
    std::vector<std::size_t> group(count);
    std::vector<std::int64_t> sizes(count);
    std::vector<std::size_t> members(count, 1);
    for (std::size_t i = 0; i < count; ++i) {
        group[i] = i;
        sizes[i] = projects.Item(static_cast<int>(i))->discSize;
    }
    const auto root = [&](std::size_t p) {
        while (group[p] != p)
            p = group[p] = group[group[p]];
        return p;
    };
    const std::vector<Share> shares = Shares();
    const auto firstOf = [&](int player) { return root(static_cast<std::size_t>(player)); };
    for (const Share& share : shares) {
        for (const auto& [player, cost] : share.players) {
            const std::size_t a = firstOf(share.players.front().first), b = firstOf(player);
            if (a == b)
                continue;
            const std::size_t first = std::min(a, b), last = std::max(a, b);
            group[last] = first;
            sizes[first] += sizes[last];
            members[first] += members[last];
        }
    }
    for (const Share& share : shares)
        sizes[firstOf(share.players.front().first)] -= CountedOverOnce(share.players);

    // Each set takes, again and again, the largest unplaced project that still
    // fits, the earliest in the list among equal sizes. The projects that can
    // be placed at all wait in one array ordered by size and, within a size,
    // latest list position first, so the choice is the last unplaced one at or
    // below the room left: a binary search finds the last one at or below, and
    // a placed one links to the one before it, so "the last unplaced one up to
    // here" follows the links (shortened as they are followed). A project that
    // does not fit an empty set is never placed.
    struct Waiting {
        std::int64_t size;
        int position;
    };
    std::vector<Waiting> waiting;
    for (std::size_t i = 0; i < count; ++i)
        if (group[i] == i && sizes[i] >= 0 && sizes[i] <= budget)
            waiting.push_back({sizes[i], static_cast<int>(i)});
    std::sort(waiting.begin(), waiting.end(), [](const Waiting& a, const Waiting& b) {
        return a.size != b.size ? a.size < b.size : a.position > b.position;
    });
    // unplaced[k] is k when waiting[k - 1] is unplaced, else an index below k
    // whose chain leads to the last unplaced one before it; 0 means none.
    std::vector<int> unplaced(waiting.size() + 1);
    for (std::size_t k = 0; k < unplaced.size(); ++k)
        unplaced[k] = static_cast<int>(k);
    const auto lastUnplaced = [&](int k) {
        while (unplaced[static_cast<std::size_t>(k)] != k) {
            const int next = unplaced[static_cast<std::size_t>(k)];
            unplaced[static_cast<std::size_t>(k)] = unplaced[static_cast<std::size_t>(next)];
            k = next;
        }
        return k;
    };

    std::vector<int> setOf(static_cast<std::size_t>(projects.Count()), -1);
    int set = 0;
    std::int64_t total = 0;
    for (std::size_t left = waiting.size(); left > 0;) {
        const std::int64_t room = budget - total;
        const auto end = std::upper_bound(waiting.begin(), waiting.end(), room,
                                          [](std::int64_t size, const Waiting& w) { return size < w.size; });
        const int k = lastUnplaced(static_cast<int>(end - waiting.begin()));
        if (k == 0) {
            ++set; // nothing fits any more: the next set starts empty, and the smallest project fits it
            total = 0;
            continue;
        }
        unplaced[static_cast<std::size_t>(k)] = k - 1;
        --left;
        const Waiting& chosen = waiting[static_cast<std::size_t>(k - 1)];
        setOf[static_cast<std::size_t>(chosen.position)] = set;
        total += chosen.size;
        numBackups = set + 1;
    }
    // The sets are given to the projects in list order, one pass over them,
    // each project of a group the set of its group.
    std::map<std::size_t, std::vector<const orvoProject*>> tooLarge; // the groups in no set, by root
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t first = root(i);
        orvoProject& project = *projects.Item(static_cast<int>(i));
        project.BackupNum = setOf[first];
        if (setOf[first] < 0 && members[first] > 1)
            tooLarge[first].push_back(&project);
    }
    // Each project of such a group names the others (the first ten).
    constexpr std::size_t Named = 10;
    for (const auto& [first, together] : tooLarge) {
        const std::string need =
            "; together they need " + ShortSizeAbove(sizes[first]) + ", more than one " + medium.name;
        for (const orvoProject* project : together) {
            std::vector<std::string> others;
            for (std::size_t k = 0; k < together.size() && others.size() < Named; ++k)
                if (together[k] != project)
                    others.push_back(together[k]->Name);
            const std::size_t unnamed = together.size() - 1 - others.size();
            sharedNoSet.emplace(project, "shares takes with " + NamedList(others, false, unnamed) + need);
        }
    }
}

std::string orvoProjectList::NoSetReason(const orvoProject& project) const
{
    if (const auto shared = sharedNoSet.find(&project); shared != sharedNoSet.end())
        return shared->second;
    return "larger than one " + medium.name + " (" + medium.shortSize + ")";
}

std::vector<orvoProjectList::SetTotal> orvoProjectList::SetTotals() const
{
    std::vector<SetTotal> sets(static_cast<std::size_t>(std::max(numBackups, 0)));
    for (std::size_t n = 0; n < sets.size(); ++n) {
        sets[n].name = medium.prefix + "-" + SetLetters(firstSet + static_cast<int>(n));
        sets[n].bytes = DiscFilesCost;
    }
    const auto inSet = [&](int backupNum) { return backupNum >= 0 && backupNum < numBackups; };
    for (const auto& project : projects) {
        if (!inSet(project->BackupNum))
            continue;
        SetTotal& set = sets[static_cast<std::size_t>(project->BackupNum)];
        ++set.projects;
        set.files += project->discFiles;
        set.bytes += project->discSize;
    }
    // A file that projects of one set share is on its disc once.
    for (Share& share : Shares()) {
        auto& players = share.players;
        std::sort(players.begin(), players.end(), [&](const auto& a, const auto& b) {
            return projects.Item(a.first)->BackupNum < projects.Item(b.first)->BackupNum;
        });
        for (std::size_t from = 0, to = 0; from < players.size(); from = to) {
            const int backupNum = projects.Item(players[from].first)->BackupNum;
            to = static_cast<std::size_t>(
                std::find_if(players.begin() + static_cast<std::ptrdiff_t>(from), players.end(),
                             [&](const auto& player) { return projects.Item(player.first)->BackupNum != backupNum; })
                - players.begin());
            if (!inSet(backupNum))
                continue;
            SetTotal& set = sets[static_cast<std::size_t>(backupNum)];
            set.files -= static_cast<std::int64_t>(to - from - 1);
            set.bytes -= CountedOverOnce(std::span(players).subspan(from, to - from));
        }
    }
    return sets;
}

std::vector<GridRow> orvoProjectList::FillGrid() const
{
    std::vector<GridRow> rows;
    rows.reserve(static_cast<std::size_t>(projects.Count()));
    for (const auto& project : projects) {
        rows.push_back({project->Name, project->ReadOnly ? "-" : SizeText(project->wavSize, regional.decimalSeparator),
                        std::to_string(project->trackCount), std::to_string(project->WaveCount()),
                        project->BackupNum >= 0 ? SetLetters(firstSet + project->BackupNum) : "", UsedText(*project)});
    }
    return rows;
}

std::vector<orvoProjectList::Unsortable> orvoProjectList::UnsortableProjects() const
{
    std::unordered_map<const orvoProject*, std::string> why;
    std::vector<const orvoProject*> queue;
    const auto mark = [&](const orvoProject* project, std::string reason) {
        if (why.emplace(project, std::move(reason)).second)
            queue.push_back(project);
    };
    std::unordered_set<const orvoProject*> listed;
    for (const auto& project : projects)
        listed.insert(project.get());
    for (const auto& project : projects) {
        if (!project->ReadFailure.empty()) {
            mark(project.get(), NotReadText(*project));
        } else if (project->BackupNum < 0) {
            mark(project.get(), "Project " + project->Name + ": " + NoSetReason(*project));
        } else if (const auto wave = FirstInvalidWave(*project)) {
            mark(project.get(), "Project " + project->Name + ": invalid wave file name: " + *wave);
        } else {
            for (int i = 0; i < project->WaveCount(); ++i)
                if (!project->WaveName(i).empty() && project->WavePosition(i) == FolderListing::npos) {
                    mark(project.get(), WaveFailure(*project, std::string(project->WaveName(i))));
                    break;
                }
        }
    }
    // A file leaves the folder only with every project that uses it: the
    // projects that share a file with one that stays (or with one the read
    // left out) stay too.
    const auto forEachUser = [&](std::string_view file, const auto& visit) {
        if (const std::optional<FolderOwners::Entry> entry = owners.Find(file)) {
            for (const orvoProject* player : entry->players)
                visit(player);
            if (entry->owner)
                visit(entry->owner);
        }
    };
    if (owners.LeftOut())
        for (const auto& project : projects)
            if (!why.count(project.get()))
                for (const std::string_view file : project->FilesToMove())
                    forEachUser(file, [&](const orvoProject* user) {
                        if (!listed.count(user))
                            mark(project.get(), "Project " + project->Name + ": it shares \"" + std::string(file)
                                                    + "\" with " + user->Name + ", which the read left out");
                    });
    for (std::size_t next = 0; next < queue.size(); ++next) {
        const orvoProject* stays = queue[next];
        for (const std::string_view file : stays->FilesToMove())
            forEachUser(file, [&](const orvoProject* user) {
                if (listed.count(user))
                    mark(user, "Project " + user->Name + ": it shares \"" + std::string(file) + "\" with " + stays->Name
                                   + ", which can't be sorted");
            });
    }
    std::vector<Unsortable> found;
    for (const auto& project : projects)
        if (const auto reason = why.find(project.get()); reason != why.end())
            found.push_back({project.get(), reason->second});
    return found;
}

void orvoProjectList::Drop(const orvoProject& project)
{
    const int p = projects.ItemIndex(&project);
    if (p == acList<orvoProject>::Absent)
        return;
    owners.Forget(project);
    const auto keep = projects.Item(p); // the record outlives its removal from the list
    projects.Delete(p);
}

void orvoProjectList::Renamed(orvoProject& project, const std::string& newName,
                              const std::vector<std::pair<std::string, std::string>>& renames)
{
    std::vector<std::string> files;
    for (const auto& file : project.OwnFiles()) {
        const auto renamed =
            std::find_if(renames.begin(), renames.end(), [&](const auto& r) { return r.first == file; });
        files.push_back(renamed == renames.end() ? file : renamed->second);
    }
    std::sort(files.begin(), files.end(), FolderListing::NameLess);
    const std::string oldName = project.Name;
    project.Name = newName;
    project.SetOwnFiles(files);
    owners.Renamed(oldName, project, renames);
}

std::string FileFailure(const std::string& project, const std::string& verb, const std::string& file,
                        const std::string& dest, const std::string& reason)
{
    return (project.empty() ? "Can't " : "Project " + project + ": can't ") + verb + " \"" + file + "\""
           + (dest.empty() ? "" : " to \"" + dest + "\"") + ": " + reason;
}

std::string WaveFailure(const orvoProject& project, const std::string& wave)
{
    const std::string reason = NotOrdinary(project.ReadDir, wave);
    return FileFailure(project.Name, project.ReadOnly ? "copy" : "move", wave, "",
                       reason.empty() ? "it was not found when the folder was read" : reason);
}

bool WaveMissing(const orvoProject& project, const std::string& wave)
{
    struct stat status {};
    return ::lstat((project.ReadDir + wave).c_str(), &status) != 0 && errno == ENOENT;
}

} // namespace kelvark
