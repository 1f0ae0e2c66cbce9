// Wave names from project files written on Windows: in its code page, and in
// whatever letter case, found among the UTF-8 names of a folder where case counts.

#include "Commands.h"
#include "DiscLabel.h"
#include "Fixtures.h"
#include "FolderListing.h"
#include "TextCodec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>
#include <random>
#include <sys/mman.h>
#include <unistd.h>

using namespace kelvark;

namespace {

using namespace fixtures;

TEST(FindWave, ExactBytesThenWindows1252ThenTheOneFileEqualButForLetterCase)
{
    struct Case {
        std::vector<std::string> files;
        std::string name;
        std::optional<std::string> found;
    };
    const std::vector<Case> cases = {
        {{"Take 01.wav", "take 01.wav"}, "take 01.wav", "take 01.wav"},
        {{"Caf\xC3\xA9 01.wav"}, "Caf\xE9 01.wav", "Caf\xC3\xA9 01.wav"},
        {{"Caf\xE9 01.wav", "Caf\xC3\xA9 01.wav"}, "Caf\xE9 01.wav", "Caf\xE9 01.wav"},
        {{"Take 01.wav"}, "take 01.WAV", "Take 01.wav"},
        {{"Caf\xC3\xA9 01.WAV", "Other.wav"}, "caf\xE9 01.wav", "Caf\xC3\xA9 01.WAV"},
        // Two files that differ in case only: no guess.
        {{"Take 01.wav", "TAKE 01.wav"}, "take 01.wav", std::nullopt},
        {{"CAF\xE9.wav", "CAF\xC3\xA9.wav"}, "caf\xE9.wav", std::nullopt},
        // Valid UTF-8 is never read in the code page ("é" would be "Ã©").
        {{"Caf\xC3\x83\xC2\xA9.wav"}, "Caf\xC3\xA9.wav", std::nullopt},
        // Only ASCII letters are compared without case.
        {{"CAF\xC3\x89.wav"}, "caf\xC3\xA9.wav", std::nullopt},
        {{"F\xC3\xBCr Elise.wav"}, "f\xFCr elise.WAV", "F\xC3\xBCr Elise.wav"},
        {{".take.wav"}, ".Take.wav", std::nullopt},
    };
    for (const auto& c : cases) {
        TempDir dir;
        for (const auto& file : c.files)
            WriteFile(dir.path() / file, "");
        const FolderListing listing(dir.path());
        const std::size_t found = listing.FindWave(c.name);
        EXPECT_EQ(found == FolderListing::npos ? std::nullopt : std::optional<std::string>(listing.Name(found)),
                  c.found)
            << c.name;
    }
}

TEST(FolderListing, OrdersNamesAsNameLessAndFindsEach)
{
    // Names that differ only in case, past the first word of eight bytes, at
    // a name's end, and in bytes above ASCII.
    const std::vector<std::string> names = {"a",
                                            "A",
                                            "ab",
                                            "aB",
                                            "a b",
                                            "Session.cue",
                                            "session.cue",
                                            "Session 01.wav",
                                            "Session 01.WAV",
                                            "Session 1.wav",
                                            "Session 10.wav",
                                            "Session.cue.bak",
                                            "1234567",
                                            "12345678",
                                            "123456789",
                                            "12345678a",
                                            "12345678A",
                                            "Caf\xC3\xA9.wav",
                                            "Caf\xE9.wav",
                                            "CAF\xC3\x89.wav",
                                            "_x",
                                            "Zz",
                                            "[x]",
                                            "~x"};
    TempDir dir;
    for (const auto& name : names)
        WriteFile(dir.path() / name, "");
    const FolderListing listing(dir.path());
    ASSERT_EQ(listing.Count(), names.size());
    for (std::size_t i = 0; i < listing.Count(); ++i) {
        if (i > 0) {
            EXPECT_TRUE(FolderListing::NameLess(listing.Name(i - 1), listing.Name(i))) << listing.Name(i);
        }
        // The listing's own view, found by where it lies, and a copy, found by its bytes.
        EXPECT_EQ(listing.Position(listing.Name(i)), i) << listing.Name(i);
        EXPECT_EQ(listing.Position(std::string(listing.Name(i))), i) << listing.Name(i);
        // A view of the name with its zero byte is no name of the listing.
        EXPECT_EQ(listing.Position({listing.Name(i).data(), listing.Name(i).size() + 1}), FolderListing::npos);
    }
    // A view of the start of a name is the name it spells.
    const std::string_view longer = listing.Name(listing.Position(std::string("Session.cue.bak")));
    EXPECT_EQ(listing.Position(longer.substr(0, 11)), listing.Position(std::string("Session.cue")));
    EXPECT_EQ(listing.Position(longer.substr(0, 9)), FolderListing::npos);
    // Names it does not hold: before all, between two, a prefix or a longer
    // form of one, another letter case of one, one with a zero byte inside.
    for (const std::string& absent :
         {std::string(), std::string("!"), std::string("a  "), std::string("Session"), std::string("Session.cu"),
          std::string("Session.cue.bak2"), std::string("SESSION.CUE"), std::string("12345678b"), std::string("a\0b", 3),
          std::string("ab\0", 3), std::string("~~")})
        EXPECT_EQ(listing.Position(absent), FolderListing::npos) << absent;
}

// The name with ASCII letters in lower case: the listing's order is by these
// bytes, then by the name's own.
std::string Folded(std::string name)
{
    for (char& c : name)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return name;
}

TEST(FolderListing, AnswersAsASortedListOfItsNames)
{
    // Names of 1 to 255 bytes of every value but "/" and zero, with long shared
    // starts, and twins: the last byte another, a letter in another case, a
    // byte less or more.
    std::mt19937 random(40);
    const auto anyByte = [&] {
        for (;;)
            if (const auto c = static_cast<char>(random() % 3 ? 1 + random() % 255 : 'A' + random() % 58); c != '/')
                return c;
    };
    const auto twin = [&](std::string name) {
        const std::size_t at = random() % name.size();
        switch (random() % 4) {
        case 0: name.back() = anyByte(); break;
        case 1:
            if (const char c = name[at]; (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))
                name[at] = static_cast<char>(c ^ 0x20);
            break;
        case 2: name.pop_back(); break;
        default: name += anyByte();
        }
        return name.empty() || name[0] == '.' || name.size() > 255 ? std::string("a") : name;
    };
    std::vector<std::string> stems{""};
    while (stems.size() < 400) {
        std::string stem = stems[random() % stems.size()];
        for (auto n = random() % 48; n > 0; --n)
            stem += anyByte();
        stems.push_back(stem.substr(0, 250));
    }
    const std::string extensions[] = {"", ".wav", ".WAV", ".cue", ".Cue", ".cue.bak"};
    std::vector<std::string> names;
    while (names.size() < 200'000) {
        std::string name = stems[random() % stems.size()];
        for (auto n = 1 + random() % 8; n > 0; --n)
            name += anyByte();
        name = (name + extensions[random() % 6]).substr(0, 255);
        if (name[0] == '.')
            continue;
        if (random() % 4 == 0)
            names.push_back(twin(name));
        names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    std::shuffle(names.begin(), names.end(), random);
    const FolderListing listing(names);

    // The plain answers: the names sorted by their folded bytes, then their own.
    std::vector<std::pair<std::string, std::string>> model;
    for (std::string& name : names)
        model.emplace_back(Folded(name), std::move(name));
    std::sort(model.begin(), model.end());
    const auto position = [&](std::string_view name) {
        const std::pair key(Folded(std::string(name)), std::string(name));
        const auto at = std::lower_bound(model.begin(), model.end(), key);
        return at != model.end() && *at == key ? static_cast<std::size_t>(at - model.begin()) : FolderListing::npos;
    };
    const auto wave = [&](std::string_view name) {
        std::vector<std::string> forms{std::string(name)};
        if (!IsValidUtf8(name))
            forms.push_back(Win1252ToUtf8(name));
        for (const std::string& form : forms)
            if (position(form) != FolderListing::npos)
                return position(form);
        std::size_t found = FolderListing::npos;
        int matches = 0;
        for (const std::string& form : forms) {
            const std::pair key(Folded(form), std::string());
            for (auto at = std::lower_bound(model.begin(), model.end(), key);
                 at != model.end() && at->first == key.first; ++at, ++matches)
                found = static_cast<std::size_t>(at - model.begin());
        }
        return matches == 1 ? found : FolderListing::npos;
    };

    // Each name looked up by its bytes ends where readable memory ends.
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const auto pages =
        static_cast<char*>(::mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(pages, MAP_FAILED);
    ASSERT_EQ(::mprotect(pages + page, page, PROT_NONE), 0);
    const auto atPageEnd = [&](std::string_view name) {
        return std::string_view(static_cast<char*>(std::memcpy(pages + page - name.size(), name.data(), name.size())),
                                name.size());
    };

    std::size_t wrong = 0;
    const auto expect = [&](const char* what, std::string_view name, auto got, auto want) {
        if (got != want && ++wrong <= 5)
            ADD_FAILURE() << what << " of \"" << name << "\"";
    };
    ASSERT_EQ(listing.Count(), model.size());
    std::vector<std::string> projectFiles;
    for (std::size_t i = 0; i < model.size(); ++i) {
        const std::string& name = model[i].second;
        const std::string_view view = listing.Name(i);
        expect("Name", name, view, std::string_view(name));
        if (i > 0)
            expect("NameLess", name, FolderListing::NameLess(model[i - 1].second, name), true);
        expect("Position", name, listing.Position(atPageEnd(name)), i);
        expect("Position", name, listing.Position(view), i);
        if (i + 8 >= model.size()) // a name compared with the last ones of the text, past their ends
            expect("Position", name, listing.Position(atPageEnd(name + name)), position(name + name));
        if (Folded(name).ends_with(".cue"))
            projectFiles.push_back(name);
        if (i % 25'000 == 0) {
            const std::string project = name.substr(0, name.rfind('.'));
            std::vector<std::size_t> own;
            for (std::size_t k = 0; k < model.size(); ++k)
                if (model[k].second.starts_with(project)
                    && (model[k].second.size() == project.size() || model[k].second[project.size()] == '.'))
                    own.push_back(k);
            expect("OwnFilePositions", project, listing.OwnFilePositions(project), own);
        }
        if (i % 3 != 0)
            continue;
        for (const std::string_view part : {view.substr(0, view.size() - 1), view.substr(1)})
            expect("Position", part, listing.Position(part), position(part));
        const std::string_view other = atPageEnd(twin(name));
        expect("Position", other, listing.Position(other), position(other));
        if (i % 4 == 0)
            expect("FindWave", other, listing.FindWave(other), wave(other));
    }
    expect("ProjectFiles", "", listing.ProjectFiles(), projectFiles);
    EXPECT_EQ(wrong, 0u);
    ::munmap(pages, 2 * page);
}

TEST(GetWaveInfo, MeasuresTheFileAWindowsNameFindsAndNamesTheNameWhenNoneIs)
{
    struct Case {
        std::string name; // in the project file
        std::vector<std::string> files; // on disk
        std::string diskName; // empty: not found
    };
    const std::vector<Case> cases = {
        {"Caf\xE9 01.wav", {"Caf\xC3\xA9 01.wav"}, "Caf\xC3\xA9 01.wav"},
        {"take 01.WAV", {"Take 01.wav"}, "Take 01.wav"},
        {"take 01.WAV", {"Take 01.wav", "take 01.wav"}, ""},
    };
    for (const auto& c : cases) {
        Studio studio;
        WriteFile(studio.root.path() / "Caf\xC3\xA9.cue", CueText({{{c.name, 0, 253}}}));
        for (const auto& file : c.files)
            WriteFile(studio.root.path() / file, WaveHeader(1000));
        const bool failed = studio.Read();

        const orvoProject& project = studio.Project(0);
        EXPECT_EQ(project.WaveName(0), c.name);
        EXPECT_EQ(project.WaveDiskName(0), c.diskName) << c.name;
        EXPECT_EQ(failed, c.diskName.empty()) << c.name;
        if (c.diskName.empty()) {
            EXPECT_EQ(project.LastError, "Project: Caf\xC3\xA9\r\n     File not found: " + c.name);
            continue;
        }
        EXPECT_EQ(project.wavSize, DeclaredSize(1000)) << c.name;
        EXPECT_EQ(project.samplesUsed, 253) << c.name;
        EXPECT_EQ(studio.grid.rows[0].texts[5], "50%") << c.name;
    }
}

TEST(FileGetSize, NoticesNameTheFileFound)
{
    Studio studio;
    const std::string header = WaveHeader(1000);
    WriteFile(studio.root.path() / "Song.cue", CueText({{{"song 01.WAV", 0, 10}}}));
    WriteFile(studio.root.path() / "Song 01.wav",
              header.substr(0, 36) + ChunkHeader(std::string("\0bex", 4), 0) + header.substr(36));
    studio.Read();
    EXPECT_EQ(studio.ui.messages.shown,
              std::vector<std::string>{std::string("Unknown chunk \"\0bex\" in file Song 01.wav", 40)});
}

TEST(WindowsNames, TheFilesFoundAreSortedMovedAndNamedInConflicts)
{
    struct Case {
        const char* what;
        std::function<bool(Studio&, const fs::path& dest)> act; // true when refused
        std::string shown; // "@" for the root folder, "#" for the destination
    };
    const std::vector<Case> cases = {
        {"sort",
         [](Studio& s, const fs::path&) { return s.ui.Shown(SortCommand(s.list, s.root.str(), s.ui.commands())); },
         "Done.  CSV files are in folder @.\r\nMade 1 set folder: CD-A.\r\nSorted 2 projects: 2 moved.\r\n"
         "Wrote Backup Report.txt, Backups.csv, BackupProjects.csv into @."},
        {"move",
         [](Studio& s, const fs::path& dest) {
             s.Select({1, 2});
             return s.ui.Shown(MoveCommand(s.list, s.Selected(), dest.string() + "/", s.ui.commands()));
         },
         "Moved Caf\xC3\xA9, Take to #."},
        {"conflict",
         [](Studio& s, const fs::path& dest) {
             WriteFile(dest / "Take 01.wav", "already here");
             s.Select({1, 2});
             return s.ui.Shown(MoveCommand(s.list, s.Selected(), dest.string() + "/", s.ui.commands()));
         },
         "Nothing was moved.\r\nAlready in destination directory:\r\n\r\nProject: Take\r\n     Take 01.wav"},
    };
    const std::vector<std::string> files = {"Caf\xC3\xA9 01.wav", "Caf\xC3\xA9.cue", "Take 01.wav", "Take.cue"};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Studio s;
        TempDir dest;
        WriteFile(s.root.path() / "Caf\xC3\xA9.cue", CueText({{{"Caf\xE9 01.wav", 0, 10}}}));
        WriteFile(s.root.path() / "Caf\xC3\xA9 01.wav", WaveHeader(1000));
        WriteFile(s.root.path() / "Take.cue", CueText({{{"take 01.WAV", 0, 10}}}));
        WriteFile(s.root.path() / "Take 01.wav", WaveHeader(1000));
        ASSERT_FALSE(s.Read());
        const auto before = Snapshot(s.root.path());

        const bool refused = c.act(s, dest.path());
        std::string shown = c.shown;
        for (const auto& [mark, folder] : {std::pair{'@', s.root.str()}, std::pair{'#', dest.str()}})
            for (auto at = shown.find(mark); at != std::string::npos; at = shown.find(mark, at + folder.size()))
                shown.replace(at, 1, folder);
        EXPECT_EQ(s.ui.messages.shown, shown.empty() ? std::vector<std::string>{} : std::vector<std::string>{shown});
        if (refused) {
            EXPECT_EQ(Snapshot(s.root.path()), before);
            continue;
        }
        const bool sort = c.what == std::string("sort");
        std::vector<std::string> moved = files;
        if (sort)
            moved.insert(moved.begin() + 2, DiscLabelName); // the disc's label, among the moved files by name
        EXPECT_EQ(EntryNames(sort ? s.root.path() / "CD-A" : dest.path()), moved);
        for (const auto& [file, content] : before)
            EXPECT_EQ(ReadFile((sort ? s.root.path() / "CD-A" : dest.path()) / file), content) << file;
    }
}

} // namespace
