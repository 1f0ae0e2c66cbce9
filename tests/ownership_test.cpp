// Folders as users keep them: look-alike names, shared waves, folders, links
// and special files among the waves, report names taken by projects. Every
// operation either does the right thing or refuses before touching anything;
// either way every file that was there is still there once, with its content.

#include "Commands.h"
#include "DiscCheck.h"
#include "Fixtures.h"
#include "Plans.h"
#include "TextCodec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

using namespace kelvark;

namespace {

using namespace fixtures;

constexpr std::uint32_t MB = 1000 * 1000;

// A folder of look-alike names: its projects with the waves each plays, and
// its other files.
struct Messy {
    const char* what;
    std::vector<std::pair<std::string, std::vector<std::string>>> projects;
    std::vector<std::string> files;
};

using Names = std::set<std::string, std::less<>>;

// The scan's owners and own files, and what verify gives each file listed in
// SHA256SUMS (whole, without its waves, then without any file), are the
// rule's answer for the folder's names, projects and players.
TEST(Ownership, EveryCallerFollowsTheOneRule)
{
    const Messy folders[] = {
        {"prefixes, dots, letter case, shared and hidden waves, a Windows-1252 name",
         {{"Song", {"Song.take.wav", "Drums.wav"}},
          {"Song 2", {"Song 2 take.wav"}},
          {"Song.v1", {}},
          {"Band", {"Drums.wav", "Song.take.wav", ".hidden.wav"}},
          {"Drums", {"Drums 1.wav"}},
          {"Caf\xE9", {"Caf\xE9 1.wav"}}},
         {"Song", "Song.bak", "song.bak", "Song..bak", "Song 2.bak", "Song.v1.final.bak", "Song.v1x.bak", ".Song.bak",
          "Caf\xE9.bak", "caf\xE9.bak", "Nobody.txt"}},
        {"two project files of one name in letter case, a file of one played by another",
         {{"Take", {}}, {"take", {}}, {"Other", {"Take.bak"}}},
         {"take.bak", "TAKE.bak"}},
    };
    for (const Messy& folder : folders) {
        SCOPED_TRACE(folder.what);
        Studio s;
        const fs::path set = s.root.path() / "CD-A";
        fs::create_directory(set);
        Names projects;
        std::map<std::string, Names, std::less<>> players;
        for (const auto& [name, waves] : folder.projects) {
            std::vector<FixtureWave> written;
            for (const auto& wave : waves) {
                written.push_back({wave});
                players[wave].insert(name);
            }
            WriteProject(set, name, written);
            projects.insert(name);
        }
        for (const auto& file : folder.files)
            WriteFile(set / file, file);
        const auto ownerOf = [&](std::string_view file, const Names& playedBy) {
            return std::string(FolderListing::OwnerOf(
                file, [&](std::string_view name) { return projects.contains(name); }, !playedBy.empty(),
                [&](std::string_view name) { return playedBy.contains(name); }));
        };

        s.list.ReadFolder(set.string() + "/", true, true);
        const FolderListing listing(set);
        std::map<std::string, std::vector<std::string>> own;
        for (std::size_t i = 0; i < listing.Count(); ++i) {
            const std::string file(listing.Name(i));
            const std::string owner = ownerOf(file, players[file]);
            if (!owner.empty())
                own[owner].push_back(file);
            const std::optional<FolderOwners::Entry> entry = s.list.owners.Find(file);
            ASSERT_TRUE(entry.has_value()) << file;
            EXPECT_EQ(entry->owner ? entry->owner->Name : "", owner) << file;
            std::vector<std::string> playing, inListOrder;
            for (const orvoProject* player : entry->players)
                playing.push_back(player->Name);
            for (const auto& project : s.list.projects)
                if (players[file].contains(project->Name))
                    inListOrder.push_back(project->Name);
            EXPECT_EQ(playing, inListOrder) << file;
        }
        for (const auto& project : s.list.projects)
            if (project->ReadFailure.empty()) {
                EXPECT_EQ(project->OwnFiles(), own[project->Name]) << project->Name;
            }

        RecordingProgress progress;
        ASSERT_FALSE(WriteChecksums(set.string(), HeldSums::Refuse, progress).Failed());
        const std::string_view stages[] = {"every file", "the project files", "nothing"};
        for (const std::string_view left : stages) {
            SCOPED_TRACE(left);
            const VerifyResult result = Verify({set.string()}, progress);
            ASSERT_EQ(result.folders.size(), 1U);
            const FolderCheck& check = result.folders[0];
            std::map<std::string, Names> given, expected;
            for (const std::size_t i : check.loose)
                given[check.files[i].name];
            for (const auto& project : check.projects)
                for (const std::size_t i : project.files)
                    given[check.files[i].name].insert(project.name);
            for (const auto& named : given) {
                const std::string& file = named.first;
                // Once the project files are gone, nothing is played.
                Names& claiming = expected[file] = left == "nothing" ? Names() : players[file];
                if (const std::string owner = ownerOf(file, claiming); !owner.empty())
                    claiming.insert(owner);
            }
            EXPECT_EQ(given.size(), check.files.size());
            EXPECT_EQ(given, expected);
            for (const auto& entry : fs::directory_iterator(set))
                if (const std::string name = entry.path().filename().string();
                    name != "SHA256SUMS" && (left != "every file" || !HasProjectExtension(name)))
                    fs::remove(entry.path());
        }
    }
}

// One folder a user could have, one operation on it, and what must come of it.
struct Case {
    const char* what;
    std::function<void(const fs::path&)> write;
    std::function<bool(Studio&, const fs::path& dest)> act; // true when the operation refused or failed
    std::vector<std::string> shown; // the messages, "@" standing for the root folder
    std::function<void(Studio&, const fs::path& dest)> check = nullptr; // after an operation that went through
};

// The named projects, in list order.
std::vector<orvoProject*> Named(Studio& s, std::initializer_list<std::string> names)
{
    std::vector<orvoProject*> projects;
    for (const auto& project : s.list.projects)
        if (std::find(names.begin(), names.end(), project->Name) != names.end())
            projects.push_back(project.get());
    return projects;
}

bool Move(Studio& s, const fs::path& dest, std::initializer_list<std::string> names)
{
    return s.ui.Shown(MoveCommand(s.list, Named(s, names), dest.string() + "/", s.ui.commands()));
}

bool Sort(Studio& s)
{
    return s.ui.Shown(SortCommand(s.list, s.root.str(), s.ui.commands()));
}

bool Rename(Studio& s, const std::string& name, const std::string& newName)
{
    return s.ui.Shown(RenameCommand(s.list, *Named(s, {name}).front(), newName, s.ui.commands()));
}

// Renamed over and over, a project is found by its new name only, owns its
// files under it, and the projects beside it stay found.
TEST(FolderOwners, ProjectsAreFoundByNameThroughRenames)
{
    Studio s;
    for (const char* name : {"Alpha", "Beta", "Gamma"})
        WriteProject(s.root.path(), name, {});
    s.Read();
    std::string name = "Alpha";
    for (int i = 1; i <= 20; ++i) {
        const std::string newName = "Alpha " + std::to_string(i);
        ASSERT_FALSE(Rename(s, name, newName)) << newName;
        const orvoProject* project = s.list.owners.Project(newName);
        ASSERT_NE(project, nullptr) << newName;
        EXPECT_EQ(project->Name, newName);
        EXPECT_EQ(s.list.owners.Project(name), nullptr) << name;
        EXPECT_EQ(s.list.owners.Find(newName + ".cue")->owner, project) << newName;
        for (const char* other : {"Beta", "Gamma"})
            EXPECT_NE(s.list.owners.Project(other), nullptr) << other << " after " << newName;
        name = newName;
    }
    ASSERT_FALSE(Rename(s, "Beta", "Alpha"));
    EXPECT_EQ(s.list.owners.Project("Alpha")->Name, "Alpha");
    EXPECT_EQ(s.list.owners.Project("Beta"), nullptr);
}

// A folder of more files than the owners' build takes at a time, with long
// names that share their first bytes: projects play runs of waves, a few
// waves far away that other projects play too, waves named after a project,
// two spellings of one wave and waves that are missing; some projects are
// left out of the list, some not read. Renames and moves then go as the
// commands make them, and every answer of the owners is the one a plain map
// of the folder gives.
TEST(FolderOwners, AnswersAsAPlainMapOfTheFolderThroughRenamesAndMoves)
{
    std::mt19937 random(40);
    const auto chance = [&](int percent) { return static_cast<int>(random() % 100) < percent; };
    // Made in memory where the system has such a folder: it holds many files.
    const TempDir folder(fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path());
    const std::string prefix = "Rehearsal of the orchestra, hall B, the long microphone array, take ";
    constexpr int Projects = 1000;
    constexpr std::size_t Files = 80'000; // more than one stretch of 65,536
    std::vector<std::string> files, waves;
    std::vector<std::vector<std::string>> plays(Projects);
    std::vector<std::string> projectNames;
    for (int k = 0; k < Projects; ++k) {
        // Now and then a project is named as the one before it and ".v2": the longer name owns its files.
        projectNames.push_back(k % 16 == 1 ? projectNames.back() + ".v2" : prefix + "P" + std::to_string(k));
        const std::string& name = projectNames.back();
        files.push_back(name + ".cue");
        if (chance(50))
            files.push_back(name + ".bak");
        for (int j = static_cast<int>(random() % 130); j > 0; --j) {
            waves.push_back(name + (chance(5) ? ".take " : " take ") + std::to_string(j) + ".wav");
            plays[k].push_back(waves.back());
        }
        if (chance(5) && !plays[k].empty()) // another spelling of the same file
            plays[k].push_back(AsciiFolded(plays[k].back()));
        if (chance(5))
            plays[k].push_back(name + " missing.wav");
    }
    for (int k = 0; k < Projects; ++k)
        for (int n = chance(30) ? static_cast<int>(random() % 4) : 0; n > 0; --n)
            plays[k].push_back(waves[random() % waves.size()]);
    files.insert(files.end(), waves.begin(), waves.end());
    for (std::size_t i = 0; files.size() < Files; ++i)
        files.push_back(prefix + "loose " + std::to_string(i) + ".dat");
    for (const auto& file : files)
        ::close(::open((folder.path() / file).c_str(), O_CREAT | O_WRONLY, 0644));

    Studio s;
    const auto listing = std::make_shared<const FolderListing>(folder.path());
    ASSERT_EQ(listing->Count(), Files);
    std::vector<orvoProject*> listed, numbered;
    std::vector<std::shared_ptr<orvoProject>> leftOut;
    for (int k = 0; k < Projects; ++k) {
        auto project = std::make_shared<orvoProject>(s.ui.messages);
        project->Name = projectNames[k];
        project->ReadDir = folder.str();
        project->folder = listing;
        project->ReadOnly = k % 13 == 5;
        if (k % 50 != 7) { // else not read
            project->reading = std::make_unique<orvoProject::Reading>();
            for (const auto& wave : plays[k])
                project->reading->waves.emplace_back().FileName = wave;
            for (auto& wave : project->reading->waves)
                wave.project = project.get();
            project->ListWaves();
            project->KeepWaves();
            project->ReadFailure.clear();
        }
        if (k % 10 == 9) {
            leftOut.push_back(project);
        } else {
            listed.push_back(project.get());
            s.list.projects.add(project);
        }
    }
    numbered = listed;
    for (const auto& project : leftOut)
        numbered.push_back(project.get());

    // The model: every file the folder holds, with its owner and its players in the owners' project order.
    struct Held {
        const orvoProject* owner = nullptr;
        std::vector<const orvoProject*> players;
    };
    std::map<std::string, Held, std::less<>> model;
    std::map<std::string, const orvoProject*, std::less<>> named;
    for (const orvoProject* project : numbered)
        named.emplace(project->Name, project);
    for (const orvoProject* project : numbered)
        for (int i = 0; i < project->WaveCount(); ++i)
            if (project->WavePosition(i) != FolderListing::npos)
                if (auto& players = model[std::string(listing->Name(project->WavePosition(i)))].players;
                    players.empty() || players.back() != project)
                    players.push_back(project);
    std::map<const orvoProject*, std::vector<std::string>> own;
    for (std::size_t i = 0; i < listing->Count(); ++i) {
        const std::string file(listing->Name(i));
        Held& held = model[file];
        const std::string_view owner = FolderListing::OwnerOf(
            file, [&](std::string_view name) { return named.contains(name); }, !held.players.empty(),
            [&](std::string_view name) {
                return std::find(held.players.begin(), held.players.end(), named.find(name)->second)
                       != held.players.end();
            });
        if (!owner.empty()) {
            held.owner = named.find(owner)->second;
            own[held.owner].push_back(file);
        }
    }
    ASSERT_EQ(model.size(), Files);

    FolderOwners& owners = s.list.owners;
    ASSERT_FALSE(owners.Build(listing, listed, leftOut).Failed());
    ASSERT_TRUE(owners.LeftOut());
    for (const orvoProject* project : numbered)
        if (project->ReadFailure.empty()) {
            ASSERT_EQ(project->OwnFiles(), own[project]) << project->Name;
        }

    std::vector<std::string> asked(files.begin(), files.end()); // every name the folder held, and some it never did
    asked.push_back(prefix + "P1 take 0.wav");
    std::vector<std::string> askedProjects(projectNames);
    const auto check = [&](const std::string& name) {
        const std::optional<FolderOwners::Entry> entry = owners.Find(name);
        const auto held = model.find(name);
        ASSERT_EQ(entry.has_value(), held != model.end()) << name;
        if (!entry)
            return;
        EXPECT_EQ(entry->owner, held->second.owner) << name;
        EXPECT_EQ(std::vector<const orvoProject*>(entry->players.begin(), entry->players.end()), held->second.players)
            << name;
    };
    const auto checkWhole = [&] {
        std::vector<std::string> names;
        for (const std::string_view name : owners.Names())
            names.emplace_back(name);
        std::sort(names.begin(), names.end());
        ASSERT_TRUE(std::equal(names.begin(), names.end(), model.begin(), model.end(),
                               [](const std::string& name, const auto& held) { return name == held.first; }));
        std::vector<std::pair<std::size_t, std::vector<const orvoProject*>>> shared, expected;
        for (const FolderOwners::SharedFile& file : owners.SharedFiles())
            shared.emplace_back(file.position, std::vector<const orvoProject*>(file.players.begin(), file.players.end()));
        for (std::size_t i = 0; i < listing->Count(); ++i)
            if (const auto held = model.find(listing->Name(i)); held != model.end() && held->second.players.size() > 1)
                expected.emplace_back(i, held->second.players);
        EXPECT_EQ(shared, expected);
    };
    checkWhole();

    // The projects that use a file together, joined: a move takes all of them or none. A rename
    // leaves the files that are played where they are, and a move takes the projects joined
    // whole, so who is joined to whom stays as the folder was read.
    std::map<const orvoProject*, const orvoProject*> joined;
    const auto top = [&](const orvoProject* p) {
        while (joined.contains(p) && joined[p] != p)
            p = joined[p];
        return p;
    };
    for (const auto& [name, held] : model)
        for (const orvoProject* p : held.players)
            joined[top(p)] = top(held.players[0]);
    int renames = 0, moves = 0;
    for (int step = 0; step < 300; ++step) {
        const int count = s.list.projects.Count();
        orvoProject& project = *s.list.projects.Item(static_cast<int>(random() % count));
        if (chance(10) && project.ReadFailure.empty()) {
            // Renamed as the rename command does: the own files no project plays take the new name.
            const std::string newName = prefix + "R" + std::to_string(renames++);
            const RenamePlan rename = PlanRename(s.list, project, newName);
            ASSERT_EQ(rename.plan.refusals, std::vector<std::string>()) << newName;
            for (const auto& [from, to] : rename.renames) {
                fs::rename(folder.path() / from, folder.path() / to);
                model[to] = model.extract(from).mapped();
                asked.push_back(to);
            }
            named.erase(project.Name);
            named.emplace(newName, &project);
            askedProjects.push_back(newName);
            s.list.Renamed(project, newName, rename.renames);
        } else if (chance(10)) {
            // Moved as the move command moves: with every project that uses one of its files.
            std::set<const orvoProject*> group;
            for (const auto& listedProject : s.list.projects)
                if (top(listedProject.get()) == top(&project))
                    group.insert(listedProject.get());
            if (std::any_of(group.begin(), group.end(), [&](const orvoProject* p) {
                    return !p->ReadFailure.empty() || p->ReadOnly;
                })
                || std::any_of(leftOut.begin(), leftOut.end(), [&](const auto& p) { return top(p.get()) == top(&project); }))
                continue;
            std::erase_if(model, [&](const auto& held) {
                return group.contains(held.second.owner)
                       || (!held.second.players.empty() && group.contains(held.second.players[0]));
            });
            for (const orvoProject* p : group)
                named.erase(p->Name);
            for (const orvoProject* p : group)
                s.list.Drop(*p); // the list held the project's last reference
            if (++moves % 4 == 0)
                checkWhole();
        } else {
            for (int n = 0; n < 40; ++n)
                check(asked[random() % asked.size()]);
            for (int n = 0; n < 5; ++n) {
                const std::string& name = askedProjects[random() % askedProjects.size()];
                const auto held = named.find(name);
                EXPECT_EQ(owners.Project(name), held == named.end() ? nullptr : held->second) << name;
            }
        }
        if (HasFailure())
            return;
    }
    checkWhole();
    for (const std::string& name : asked)
        check(name);
    EXPECT_GT(renames, 10);
    EXPECT_GT(moves, 10);
}

void Play(const fs::path& root, const std::string& project, const std::vector<std::string>& waves,
          std::uint32_t dataSize = 1000)
{
    std::vector<Region> regions;
    for (const auto& wave : waves)
        regions.push_back({wave, 0, 10});
    WriteFile(root / (project + ".cue"), CueText({regions}));
    for (const auto& wave : waves)
        if (!fs::exists(fs::symlink_status(root / wave)))
            WriteFile(root / wave, WaveHeader(dataSize));
}

TEST(Ownership, EveryOperationKeepsEveryFileWhole)
{
    const std::string notFound = std::make_error_code(std::errc::no_such_file_or_directory).message();
    const Case cases[] = {
        {"a move takes only the project's own files, not a longer project's",
         [](const fs::path& r) {
             Play(r, "Song v1", {"Song v1 take.wav"});
             Play(r, "Song v1.2", {"Song v1.2 take.wav"});
             WriteFile(r / "Song v1.2.bak", "notes");
         },
         [](Studio& s, const fs::path& d) { return Move(s, d, {"Song v1"}); },
         {"Moved Song v1 to #."},
         [](Studio& s, const fs::path& d) {
             EXPECT_TRUE(fs::exists(d / "Song v1.cue"));
             EXPECT_TRUE(fs::exists(s.root.path() / "Song v1.2.cue"));
             EXPECT_TRUE(fs::exists(s.root.path() / "Song v1.2.bak"));
         }},
        {"a rename leaves a wave another project plays alone",
         [](const fs::path& r) {
             Play(r, "Band", {"Drums.wav"});
             Play(r, "Drums", {"Drums 1.wav"});
         },
         [](Studio& s, const fs::path&) { return Rename(s, "Drums", "Percussion"); },
         {"Renamed \"Drums\" to \"Percussion\": 1 file."},
         [](Studio& s, const fs::path&) {
             EXPECT_TRUE(fs::exists(s.root.path() / "Drums.wav"));
             EXPECT_TRUE(fs::exists(s.root.path() / "Percussion.cue"));
             EXPECT_FALSE(s.Read());
         }},
        {"a renamed project stays apart from a project whose name starts its own",
         [](const fs::path& r) {
             Play(r, "A", {"a.wav"});
             Play(r, "Other", {"o.wav"});
             WriteFile(r / "Other.bak", "notes");
         },
         [](Studio& s, const fs::path&) { return Rename(s, "A", "Other.x"); },
         {"Renamed \"A\" to \"Other.x\": 1 file."},
         [](Studio& s, const fs::path&) {
             s.Read();
             EXPECT_EQ(s.Names(), (std::vector<std::string>{"Other", "Other.x"}));
             EXPECT_EQ(s.Project(0).OwnFiles(), (std::vector<std::string>{"Other.bak", "Other.cue"}));
         }},
        {"a move of a project that shares a wave with one that stays",
         [](const fs::path& r) {
             Play(r, "Song", {"Song 01.wav"});
             Play(r, "Song Mix", {"Song 01.wav"});
         },
         [](Studio& s, const fs::path& d) { return Move(s, d, {"Song"}); },
         {"Nothing was moved.\r\nCan't move \"Song 01.wav\": it is used by Song Mix (stays), Song (moves)"}},
        {"a move of two projects that share a wave moves it once",
         [](const fs::path& r) {
             Play(r, "Song", {"Song 01.wav"});
             Play(r, "Song Mix", {"Song 01.wav", "Mix.wav"});
         },
         [](Studio& s, const fs::path& d) {
             return Move(s, d, {"Song", "Song Mix"});
         },
         {"Moved Song Mix, Song to #."},
         [](Studio& s, const fs::path& d) {
             for (const char* file : {"Song.cue", "Song Mix.cue", "Song 01.wav", "Mix.wav"})
                 EXPECT_TRUE(fs::exists(d / file)) << file;
             EXPECT_EQ(s.list.projects.Count(), 0);
         }},
        {"a sort of two projects that share a wave, put into different sets by hand",
         [](const fs::path& r) {
             Play(r, "Song", {"Song 01.wav", "Song 02.wav"}, 200 * MB);
             Play(r, "Song Mix", {"Song 01.wav", "Mix.wav"}, 200 * MB);
         },
         [](Studio& s, const fs::path&) {
             s.Project(1).BackupNum = 1; // the plan puts the two into one set
             s.list.numBackups = 2;
             return Sort(s);
         },
         {"Nothing was sorted.\r\nCan't move \"Song 01.wav\": it is used by Song Mix (CD-A), Song (CD-B)"}},
        {"a report would replace a project's file",
         [](const fs::path& r) {
             Play(r, "Backups", {"b.wav"});
             WriteFile(r / "Backups.csv", "the user's own table");
         },
         [](Studio& s, const fs::path&) { return s.ui.Shown(ReportCommand(s.list, s.root.str(), s.ui.commands())); },
         {"Can't write \"Backups.csv\": it is a file of project Backups"}},
        {"waves that are a folder, a link, a hidden file or missing",
         [](const fs::path& r) {
             fs::create_directory(r / "Archive");
             WriteFile(r / "Archive" / "inside.wav", "kept");
             WriteFile(r / ".hidden.wav", WaveHeader(100));
             WriteFile(r / "real.wav", WaveHeader(100));
             fs::create_symlink("real.wav", r / "link.wav");
             Play(r, "Odd", {"Archive", "link.wav", ".hidden.wav", "gone.wav", "real.wav"});
             fs::remove(r / "gone.wav");
         },
         [](Studio& s, const fs::path&) { return Sort(s); },
         {"Nothing was sorted: 1 project can't be sorted.\r\n"
          "Project Odd: can't move \"Archive\": it is a folder\r\n"
          "Project Odd: can't move \"link.wav\": it is a symbolic link\r\n"
          "Project Odd: can't move \".hidden.wav\": it is a hidden file\r\n"
          "Project Odd: can't move \"gone.wav\": "
          + notFound}},
        {"a read-only project whose waves are a FIFO and a link to a device",
         [](const fs::path& r) {
             ::mkfifo((r / "pipe.wav").c_str(), 0644);
             fs::create_symlink("/dev/zero", r / "zero.wav");
             Play(r, "Frozen", {"pipe.wav", "zero.wav"});
             MakeReadOnly(r / "Frozen.cue");
         },
         [](Studio& s, const fs::path&) { return Sort(s); },
         {"Nothing was sorted: 1 project can't be sorted.\r\nProject Frozen: can't copy \"pipe.wav\": it is not a "
          "regular file\r\n"
          "Project Frozen: can't copy \"zero.wav\": it is a symbolic link"}},
        {"a project that was not read is neither moved nor sorted",
         [](const fs::path& r) { Play(r, "Late", {"late.wav"}); },
         [](Studio& s, const fs::path& d) {
             s.ui.progress.cancelAtCall = s.ui.progress.okCalls;
             s.Read();
             s.ui.progress.cancelAtCall = -1;
             return Move(s, d, {"Late"}) && Sort(s);
         },
         {"Nothing was moved.\r\nProject Late was not read: The read was cancelled before this project.",
          "Read the folder to the end first."}},
        {"two project files for one name",
         [](const fs::path& r) {
             Play(r, "Song", {"one.wav"});
             WriteFile(r / "Song.CUE", CueText({{{"two.wav", 0, 10}}}));
             WriteFile(r / "two.wav", WaveHeader(100));
         },
         [](Studio& s, const fs::path&) { return Sort(s); },
         {"Nothing was sorted: 2 projects can't be sorted.\r\n"
          "Project Song was not read: Can't open CUE file Song.CUE: another project file has the same name in another "
          "letter case\r\n"
          "Project Song was not read: Can't open CUE file Song.cue: another project file has the same name in another "
          "letter case"}},
        {"a rename to a hidden name",
         [](const fs::path& r) { Play(r, "Take", {"take.wav"}); },
         [](Studio& s, const fs::path&) { return Rename(s, "Take", ".hidden"); },
         {"Project name .hidden would be hidden.  Can't rename."}},
        {"a read-only project whose wave has a long accented name is copied",
         [](const fs::path& r) {
             std::string name;
             while (name.size() < 240)
                 name += "\xC3\xA9"; // é
             Play(r, "Long", {name + ".wav"});
             MakeReadOnly(r / "Long.cue");
         },
         [](Studio& s, const fs::path&) { return Sort(s); },
         {"Done.  CSV files are in folder @.\r\nMade 1 set folder: CD-A.\r\n"
          "Sorted 1 project: 1 copied (read-only: the original stays in the folder).\r\n"
          "Wrote Backup Report.txt, Backups.csv, BackupProjects.csv into @."},
         [](Studio& s, const fs::path&) { EXPECT_TRUE(fs::exists(s.root.path() / "CD-A" / "Long.cue")); }},
        {"a renamed project's files stay its own: a report would replace one",
         [](const fs::path& r) {
             Play(r, "Tables", {"t.wav"});
             WriteFile(r / "Tables.csv", "the user's own table");
         },
         [](Studio& s, const fs::path&) {
             return Rename(s, "Tables", "Backups") || s.ui.Shown(ReportCommand(s.list, s.root.str(), s.ui.commands()));
         },
         {"Renamed \"Tables\" to \"Backups\": 2 files.",
          "Can't write \"Backups.csv\": it is a file of project Backups"},
         [](Studio& s, const fs::path&) {
             EXPECT_EQ(EntryNames(s.root.path()), (std::vector<std::string>{"Backups.csv", "Backups.cue", "t.wav"}));
         }},
    };

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Studio s;
        TempDir dest;
        c.write(s.root.path());
        s.Read();
        const auto before = Snapshot(s.root.path());
        const auto entries = EntryNames(s.root.path());

        const bool refused = c.act(s, dest.path());
        std::vector<std::string> expected = c.shown;
        for (auto& text : expected)
            for (const auto& [mark, folder] : {std::pair{'@', s.root.str()}, std::pair{'#', dest.str()}})
                for (auto at = text.find(mark); at != std::string::npos; at = text.find(mark, at + folder.size()))
                    text.replace(at, 1, folder);
        EXPECT_EQ(s.ui.messages.shown, expected);
        if (c.check) {
            c.check(s, dest.path());
            // Renamed, moved or copied, every content is still there as often as before.
            std::multiset<std::string> contents;
            for (const fs::path& folder : {s.root.path(), dest.path()})
                for (const auto& [file, content] : Snapshot(folder))
                    contents.insert(content);
            for (const auto& [file, content] : before) {
                const auto found = contents.find(content);
                ASSERT_NE(found, contents.end()) << file;
                contents.erase(found);
            }
        } else {
            EXPECT_TRUE(refused);
            EXPECT_EQ(Snapshot(s.root.path()), before);
            EXPECT_EQ(EntryNames(s.root.path()), entries);
            EXPECT_TRUE(fs::is_empty(dest.path()));
        }
    }
}

} // namespace
