// The catalogue of every disc: what the commands record into it, checked with
// plain SQL on its file, and what where and discs find in it.

#include "Catalogue.h"
#include "Commands.h"
#include "Fixtures.h"
#include "FileHashes.h"
#include "Manifest.h"
#include "Regional.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <functional>

namespace {

using namespace fixtures;

// The rows sql gives on the catalogue file, each its fields joined by "|".
std::vector<std::string> Rows(const fs::path& file, const std::string& sql)
{
    sqlite3* db = nullptr;
    std::vector<std::string> rows;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK)
        sqlite3_exec(
            db, sql.c_str(),
            [](void* out, int count, char** values, char**) {
                std::string row;
                for (int i = 0; i < count; ++i)
                    row += (i > 0 ? "|" : "") + std::string(values[i] != nullptr ? values[i] : "NULL");
                static_cast<std::vector<std::string>*>(out)->push_back(row);
                return 0;
            },
            &rows, nullptr);
    sqlite3_close(db);
    return rows;
}

// A studio of two projects, one CD each, sorted with the catalogue file.
struct Sorted {
    Studio s;
    TempDir home;
    std::string file = (home.path() / "kelvark" / "catalogue.sqlite").string();
    Result sorted;

    Sorted()
    {
        WriteProject(s.root.path(), "Alpha", {{"alpha.wav", 400000000}});
        WriteProject(s.root.path(), "Beta", {{"beta.wav", 400000000}});
        s.Read(true);
        s.ui.AnswerSort(s.list, false);
        sorted = SortCommand(s.list, s.root.str(), s.ui.commands(), file);
    }
    std::string Root() const { return s.root.path().string(); }
};

const std::string Today = IsoDate(Regional::LocalToday());

TEST(Catalogue, TheSortRecordsItsBackupAndChecksumImageAndVerifyAddToIt)
{
    Sorted w;
    ASSERT_FALSE(w.sorted.Failed()) << w.sorted.Message();
    EXPECT_EQ(Rows(w.file, "SELECT root, date, medium FROM backup"),
              (std::vector<std::string>{w.Root() + "|2026-12-07|cd"}));
    const std::string budget = std::to_string(CDMedium().budget);
    EXPECT_EQ(Rows(w.file, "SELECT name, number, count, budget FROM disc ORDER BY name"),
              (std::vector<std::string>{"CD-A|1|2|" + budget, "CD-B|2|2|" + budget}));
    const std::string files = "SELECT disc.name, project.name, file.name, file.size FROM file"
                              " JOIN project ON project.id = file.project JOIN disc ON disc.id = project.disc"
                              " ORDER BY file.name";
    const std::string wave = std::to_string(DeclaredSize(400000000));
    const auto cue = [&](const std::string& name) { return std::to_string(fs::file_size(w.s.root.path() / name)); };
    EXPECT_EQ(Rows(w.file, files),
              (std::vector<std::string>{"CD-A|Alpha|Alpha.cue|" + cue("CD-A/Alpha.cue"),
                                        "CD-B|Beta|Beta.cue|" + cue("CD-B/Beta.cue"), "CD-A|Alpha|alpha.wav|" + wave,
                                        "CD-B|Beta|beta.wav|" + wave}));

    ASSERT_FALSE(ChecksumCommand(w.s.root.str(), false, w.s.ui.commands(), w.file).Failed());
    EXPECT_EQ(Rows(w.file, "SELECT count(*) FROM file WHERE length(sha256) = 64"), (std::vector<std::string>{"4"}));

    TempDir images;
    const Result imaged = ImageCommand(w.s.root.str(), images.str(), {"CD-A"}, w.s.ui.commands(), w.file);
    ASSERT_FALSE(imaged.Failed()) << imaged.Message();
    EXPECT_EQ(Rows(w.file, "SELECT name, volume IS NOT NULL, written, drive FROM disc ORDER BY name"),
              (std::vector<std::string>{"CD-A|1|" + Today + "|" + images.str() + "CD-A.iso", "CD-B|0|NULL|NULL"}));

    RecordingProgress progress;
    VerifyResult checks;
    ASSERT_FALSE(
        VerifyCommand({images.str() + "CD-A.iso", w.s.root.str() + "CD-B"}, false, progress, checks, {}, w.file)
            .Failed());
    // The image's read checks its disc; the set folder's check does not.
    // Verdicts are kept as counts and states (1: intact), and said when shown.
    EXPECT_EQ(Rows(w.file, "SELECT name, verified, intact, changed, missing, extra FROM disc ORDER BY name"),
              (std::vector<std::string>{"CD-A|" + Today + "|1|0|0|0", "CD-B|NULL|NULL|NULL|NULL|NULL"}));
    EXPECT_EQ(Rows(w.file, "SELECT name, state, faulty FROM project ORDER BY name"),
              (std::vector<std::string>{"Alpha|1|0", "Beta|NULL|NULL"}));
    std::vector<DiscRow> discs;
    EXPECT_EQ(DiscsCommand(w.file, discs).Lines()[0],
              "CD-B  " + w.Root() + "  sorted 2026-12-07 13:05  1 project  not written  never verified");
}

// A catalogue of one backup of /music with the projects named.
void RecordProjects(const std::string& file, const std::vector<std::string>& names)
{
    CatalogueBackup backup{"/music", "2026-12-10", "cd", {{"CD-A", 1, 1, 0, 0, {}}}};
    for (const std::string& name : names)
        backup.discs[0].projects.push_back({name, {}});
    Catalogue catalogue;
    ASSERT_FALSE(catalogue.Open(file).Failed());
    ASSERT_FALSE(catalogue.RecordBackup(backup).Failed());
}

TEST(Catalogue, AFolderReadLettersItsSetsAfterTheDiscsTheCatalogueKnowsOfIt)
{
    Studio s;
    WriteProject(s.root.path(), "Alpha", {{"alpha.wav", 1000}});
    const std::string file = s.root.str() + ".catalogue.sqlite";
    Catalogue catalogue;
    ASSERT_FALSE(catalogue.Open(file).Failed());
    ASSERT_FALSE(
        catalogue.RecordBackup({DiscRoot(s.root.str()), "2026-01-01", "cd", {{"CD-B", 1, 1, 0, 0, {}}}}).Failed());
    ASSERT_FALSE(ReadFolderCommand(s.list, s.root.str(), true, true, CDMedium(), file).Failed());
    EXPECT_EQ(s.list.SetTotals().front().name, "CD-C");
}

TEST(Catalogue, WhereFindsPartOfANameIgnoringCaseWithPercentAndUnderscoreLiteral)
{
    TempDir home;
    const std::string file = home.str() + "catalogue.sqlite";
    RecordProjects(file, {"Blue Hour", "blue_hour 50%", "Alder Road"});
    const struct {
        const char* text;
        std::vector<std::string> found;
    } cases[] = {
        {"blue", {"Blue Hour", "blue_hour 50%"}},
        {"HOUR", {"Blue Hour", "blue_hour 50%"}},
        {"R R", {"Alder Road"}},
        {"%", {"blue_hour 50%"}},
        {"e_h", {"blue_hour 50%"}},
        {"x", {}},
    };
    for (const auto& c : cases) {
        std::vector<WhereRow> rows;
        const Result found = WhereCommand(c.text, file, rows);
        ASSERT_FALSE(found.Failed()) << found.Message();
        std::vector<std::string> names;
        for (const WhereRow& row : rows)
            names.push_back(row.project);
        EXPECT_EQ(names, c.found) << c.text;
        if (c.found.empty())
            EXPECT_EQ(found.Message(), "No project on the catalogue's discs has \"x\" in its name.");
        else
            EXPECT_EQ(found.Lines()[0], c.found[0] + "  CD-A  /music  sorted 2026-12-10  not written  never verified");
    }
}

TEST(Catalogue, DiscsListTheOldestCheckFirstAndMarkThoseOfThreeYearsOrMoreDue)
{
    TempDir home;
    const std::string file = home.str() + "catalogue.sqlite";
    Catalogue catalogue;
    ASSERT_FALSE(catalogue.Open(file).Failed());
    const CatalogueDisc disc{"", 0, 4, 0, 0, {}};
    CatalogueBackup backup{"/music", "2020-01-01", "cd", {disc, disc, disc, disc}};
    const char* sets[] = {"CD-A", "CD-B", "CD-C", "CD-D"};
    for (std::size_t i = 0; i < 4; ++i)
        backup.discs[i].set = sets[i];
    ASSERT_FALSE(catalogue.RecordBackup(backup).Failed());
    ASSERT_FALSE(catalogue.RecordBackup({"/old", "2019-05-05", "dvd", {{"DVD-A", 1, 1, 0, 0, {}}}}).Failed());
    FolderCheck check;
    const auto verified = [&](const DiscKey& key, const std::string& date) {
        check.name = key.set;
        ASSERT_FALSE(catalogue.RecordVerified(key, date, check).Failed());
    };
    // A disc checked last on its sort's day, one written four years ago and
    // never verified, one verified three years ago to the day, one a day
    // less, and the oldest backup's disc verified last month.
    ASSERT_FALSE(catalogue.RecordWritten({"/music", "2020-01-01", "CD-B"}, "CD_B", "2022-12-11", "/dev/sr0").Failed());
    verified({"/music", "2020-01-01", "CD-C"}, "2023-12-11");
    verified({"/music", "2020-01-01", "CD-D"}, "2023-12-12");
    verified({"/old", "2019-05-05", "DVD-A"}, "2026-11-01");
    std::vector<DiscRow> rows;
    ASSERT_FALSE(catalogue.Discs("2026-12-11", rows).Failed());
    std::vector<std::string> listed;
    for (const DiscRow& row : rows)
        listed.push_back(row.disc.set + (row.due ? " due" : ""));
    EXPECT_EQ(listed, (std::vector<std::string>{"CD-A due", "CD-B due", "CD-C due", "CD-D", "DVD-A"}));

    const Result shown = DiscsCommand(file, rows);
    ASSERT_EQ(shown.Lines().size(), 5u);
    EXPECT_EQ(shown.Lines()[1], "CD-B  /music  sorted 2020-01-01  0 projects  written 2022-12-11  never verified  due");
    EXPECT_EQ(shown.Lines()[4], "DVD-A  /old  sorted 2019-05-05  0 projects  not written  verified 2026-11-01: 0 "
                                "projects intact, 0 changed, 0 missing, 0 extra files");
}

// Runs sql on a new database file.
void MakeDatabase(const fs::path& file, const char* sql)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sql;
    sqlite3_close(db);
}

// A file that is no catalogue of this Kelvark's is named and left exactly as
// it is, by a sort (which still completes) as by where; only Kelvark's mark
// (application_id) or the tables of the first version make a file Kelvark's.
TEST(Catalogue, AForeignNewerOrDamagedFileIsNamedAndLeftWhileTheSortCompletes)
{
    const std::string foreign = "is not Kelvark's: it is another program's database. It was not changed.";
    const struct {
        const char* what;
        const char* sql; // makes the file, else its bytes are garbage
        std::string told;
    } cases[] = {
        {"another program's mark", "PRAGMA application_id = 1234; CREATE TABLE t(x)", foreign},
        {"no mark, other tables", "CREATE TABLE t(x); INSERT INTO t VALUES(1)", foreign},
        {"no mark, version 1, other tables", "CREATE TABLE t(x); PRAGMA user_version = 1", foreign},
        {"Kelvark's mark, newer", "PRAGMA application_id = 1265399371; PRAGMA user_version = 99; CREATE TABLE t(x)",
         "was written by a newer Kelvark: its version 99 is newer than 2, the latest this one knows. It was not "
         "changed."},
        {"damaged", nullptr, "is damaged: file is not a database."},
    };
    for (const auto& c : cases) {
        TempDir home;
        const fs::path file = home.path() / "kelvark" / "catalogue.sqlite";
        fs::create_directories(file.parent_path());
        if (c.sql != nullptr)
            MakeDatabase(file, c.sql);
        else
            WriteFile(file, std::string(8192, 'k'));
        const std::string before = ReadFile(file);
        Studio s;
        WriteProject(s.root.path(), "Alpha", {{"alpha.wav", 1000}});
        s.Read(true);
        s.ui.AnswerSort(s.list, false);
        const Result sorted = SortCommand(s.list, s.root.str(), s.ui.commands(), file.string());
        EXPECT_EQ(sorted.Ended(), Result::Status::Done) << c.what;
        EXPECT_TRUE(fs::exists(s.root.path() / "CD-A" / "Alpha.cue")) << c.what;
        EXPECT_EQ(sorted.Lines().back(), "The catalogue " + file.string() + " " + c.told
                                             + " Nothing was recorded in it; kelvark-cli checksum, then kelvark-cli "
                                               "catalogue --add with the set folders adds them later.")
            << c.what;
        std::vector<WhereRow> rows;
        EXPECT_EQ(WhereCommand("Alpha", file.string(), rows).Message(), "The catalogue " + file.string() + " " + c.told)
            << c.what;
        EXPECT_EQ(ReadFile(file), before) << c.what;
        EXPECT_EQ(EntryNames(file.parent_path()), (std::vector<std::string>{"catalogue.sqlite"})) << c.what;
    }
}

// The catalogue users have from the first version: no mark, its tables
// those of that version, in WAL mode, one verify's sentences in it.
const char* const FirstVersion = R"(
    PRAGMA journal_mode = WAL;
    CREATE TABLE backup(id INTEGER PRIMARY KEY, root TEXT NOT NULL, date TEXT NOT NULL, medium TEXT NOT NULL,
      UNIQUE(root, date));
    CREATE TABLE disc(id INTEGER PRIMARY KEY, backup INTEGER NOT NULL REFERENCES backup(id) ON DELETE CASCADE,
      name TEXT NOT NULL, number INTEGER NOT NULL, count INTEGER NOT NULL, budget INTEGER NOT NULL,
      bytes INTEGER NOT NULL, volume TEXT, written TEXT, drive TEXT, verified TEXT, verdict TEXT, UNIQUE(backup, name));
    CREATE TABLE project(id INTEGER PRIMARY KEY, disc INTEGER NOT NULL REFERENCES disc(id) ON DELETE CASCADE,
      name TEXT NOT NULL, verdict TEXT);
    CREATE INDEX project_disc ON project(disc);
    CREATE TABLE file(id INTEGER PRIMARY KEY, project INTEGER NOT NULL REFERENCES project(id) ON DELETE CASCADE,
      name TEXT NOT NULL, size INTEGER NOT NULL, sha256 TEXT);
    CREATE INDEX file_project ON file(project);
    INSERT INTO backup VALUES(1, '/music', '2025-12-10', 'cd');
    INSERT INTO disc VALUES(1, 1, 'CD-A', 1, 1, 0, 0, 'CD_A', '2025-12-10', NULL, '2025-12-20',
      '1 project intact, 0 changed, 0 missing, 0 extra files');
    INSERT INTO project VALUES(1, 1, 'Alder Road', 'intact');
    INSERT INTO file VALUES(1, 1, 'Alder Road.cue', 10, NULL);
    PRAGMA user_version = 1;)";

// Such a catalogue is copied aside and migrated by its first use, reading
// included: Kelvark's mark set, one file (a rollback journal), its discs,
// projects and verdicts kept, a backup of the same day added apart.
TEST(Catalogue, TheFirstVersionsCatalogueIsCopiedAsideAndMigratedKeepingWhatItHolds)
{
    TempDir home;
    const std::string file = home.str() + "catalogue.sqlite";
    MakeDatabase(file, FirstVersion);
    std::vector<WhereRow> rows;
    const Result found = WhereCommand("Alder", file, rows);
    EXPECT_EQ(found.Lines(), (std::vector<std::string>{"Alder Road  CD-A  /music  sorted 2025-12-10  written "
                                                       "2025-12-10  verified 2025-12-20: intact"}));
    EXPECT_EQ(Rows(file, "PRAGMA application_id"), (std::vector<std::string>{"1265399371"}));
    EXPECT_EQ(Rows(file, "PRAGMA user_version"), (std::vector<std::string>{"2"}));
    EXPECT_EQ(Rows(file, "PRAGMA journal_mode"), (std::vector<std::string>{"delete"}));
    EXPECT_EQ(Rows(file + ".bak", "SELECT user_version, name FROM pragma_user_version, project"),
              (std::vector<std::string>{"1|Alder Road"}));
    EXPECT_EQ(EntryNames(home.path()), (std::vector<std::string>{"catalogue.sqlite", "catalogue.sqlite.bak"}));
    std::vector<DiscRow> discs;
    EXPECT_EQ(DiscsCommand(file, discs).Lines(),
              (std::vector<std::string>{"CD-A  /music  sorted 2025-12-10  1 project  written 2025-12-10  verified "
                                        "2025-12-20: 1 project intact, 0 changed, 0 missing, 0 extra files"}));

    // The one-backup-a-day rule is gone, and the foreign keys still hold.
    Catalogue catalogue;
    ASSERT_FALSE(catalogue.Open(file).Failed());
    ASSERT_FALSE(catalogue.RecordBackup({"/music", "2025-12-10", "cd", {{"CD-B", 1, 1, 0, 0, {}}}, "17:00", true})
                     .Failed());
    EXPECT_EQ(Rows(file, "SELECT count(*) FROM backup"), (std::vector<std::string>{"2"}));
    EXPECT_EQ(Rows(file, "PRAGMA foreign_key_check"), (std::vector<std::string>{}));
}

// Only a command that records makes the catalogue: reading a folder, where,
// discs, and the commands that change what it holds, never do.
TEST(Catalogue, OnlyTheSortAndCatalogueAddMakeTheCatalogue)
{
    Studio s;
    WriteProject(s.root.path(), "Alpha", {{"alpha.wav", 1000}});
    TempDir home;
    const std::string file = home.str() + "kelvark/catalogue.sqlite";
    std::vector<WhereRow> found;
    std::vector<DiscRow> discs;
    RecordingProgress progress;
    VerifyResult checks;
    const struct {
        const char* what;
        std::function<Result()> run;
    } cases[] = {
        {"read", [&] { return ReadFolderCommand(s.list, s.root.str(), true, true, CDMedium(), file); }},
        {"where", [&] { return WhereCommand("Alpha", file, found); }},
        {"discs", [&] { return DiscsCommand(file, discs); }},
        {"checksum", [&] { return ChecksumCommand(s.root.str(), false, s.ui.commands(), file); }},
        {"verify", [&] { return VerifyCommand({s.root.str()}, false, progress, checks, {}, file); }},
        {"unsort", [&] { return UnsortCommand(s.root.str(), CDMedium(), s.ui.commands(), file); }},
    };
    for (const auto& c : cases) {
        (void)c.run();
        EXPECT_FALSE(fs::exists(home.path() / "kelvark")) << c.what;
    }
    s.ui.AnswerSort(s.list, false);
    ASSERT_FALSE(SortCommand(s.list, s.root.str(), s.ui.commands(), file).Failed());
    EXPECT_EQ(EntryNames(home.path() / "kelvark"), (std::vector<std::string>{"catalogue.sqlite"}));
}

TEST(Catalogue, ASearchTextTooLongIsNamedBeforeTheCatalogueIsAsked)
{
    TempDir home;
    const std::string file = home.str() + "catalogue.sqlite";
    RecordProjects(file, {"Alder Road"});
    std::vector<WhereRow> rows;
    EXPECT_FALSE(WhereCommand(std::string(1000, 'e'), file, rows).Failed());
    const Result tooLong = WhereCommand(std::string(60000, 'e'), file, rows);
    EXPECT_EQ(tooLong.Ended(), Result::Status::Refused);
    EXPECT_EQ(tooLong.Message(), "The search text is too long: 60000 characters, at most 1000.");
    // Characters, not bytes: 1,000 two-byte letters are within it.
    std::string letters;
    for (int i = 0; i < 1000; ++i)
        letters += "\xc3\xa9";
    EXPECT_FALSE(WhereCommand(letters, file, rows).Failed());
}

// A disc is known by the identity its label carries: another disc of the
// same set name and root is another disc, a disc added again keeps its
// verdicts, and each sort is a backup of its own, its labels telling the
// sorts of one day apart by their time.
TEST(Catalogue, EachDiscIsKnownByItsIdentityAndEachSortIsABackupOfItsOwn)
{
    Sorted w;
    ASSERT_FALSE(ChecksumCommand(w.s.root.str(), false, w.s.ui.commands(), w.file).Failed());
    TempDir images;
    ASSERT_FALSE(ImageCommand(w.s.root.str(), images.str(), {"CD-A"}, w.s.ui.commands(), w.file).Failed());
    RecordingProgress progress;
    VerifyResult checks;
    ASSERT_FALSE(VerifyCommand({images.str() + "CD-A.iso"}, false, progress, checks, {}, w.file).Failed());
    // Another disc that says it is CD-A of the same backup: a copy of the set
    // folder whose label carries another identity.
    TempDir other;
    fs::copy(w.s.root.path() / "CD-A", other.path() / "CD-A");
    std::string label = ReadFile(other.path() / "CD-A" / DiscLabelName);
    const std::size_t at = label.find("Disc id: ") + 9;
    const std::string oldLabel = label;
    label.replace(at, 16, "0123456789abcdef");
    WriteFile(other.path() / "CD-A" / DiscLabelName, label);
    // Its SHA256SUMS lists its own label, as that disc's checksums would.
    const auto hex = [](const std::string& bytes) {
        StreamDigests digests;
        Digest sha256{};
        Md5 md5{};
        digests.Add(bytes.data(), bytes.size());
        digests.Finish(sha256, md5);
        return DigestHex(sha256);
    };
    std::string sums = ReadFile(other.path() / "CD-A" / ManifestName);
    ASSERT_NE(sums.find(hex(oldLabel)), std::string::npos);
    sums.replace(sums.find(hex(oldLabel)), 64, hex(label));
    WriteFile(other.path() / "CD-A" / ManifestName, sums);

    const std::string verified = "verified " + Today + ": intact";
    const struct {
        const char* what;
        std::vector<std::string> add; // the set folders catalogue --add is given
        std::vector<std::string> alpha; // the ends of where Alpha's lines
    } cases[] = {
        {"the disc again", {w.s.root.str() + "CD-A"}, {verified}},
        {"another disc of its name", {other.str() + "CD-A"}, {"never verified", verified}},
        {"both again", {other.str() + "CD-A", w.s.root.str() + "CD-A"}, {"never verified", verified}},
    };
    for (const auto& c : cases) {
        ASSERT_FALSE(CatalogueAddCommand(c.add, {}, w.file, progress).Failed()) << c.what;
        std::vector<WhereRow> rows;
        const Result found = WhereCommand("Alpha", w.file, rows);
        ASSERT_EQ(found.Lines().size(), c.alpha.size()) << c.what << "\n" << found.Message();
        std::vector<std::string> ends;
        for (const WhereRow& row : rows)
            ends.push_back(row.verified.empty() ? "never verified" : "verified " + row.verified + ": " + row.verdict);
        std::sort(ends.begin(), ends.end());
        EXPECT_EQ(ends, c.alpha) << c.what;
    }
    // The other disc went into a backup of the same day of its own. Two more
    // sorts of the same root on the same day, the last in the same minute as
    // the one before it: two more backups, their labels apart from the first.
    for (const char* time : {"14:10", "14:10"}) {
        WriteProject(w.s.root.path(), std::string("Gamma ") + time, {{"gamma.wav", 1000}});
        w.s.list.regional.timeOfDay = [time] { return std::string(time); };
        w.s.Read(true);
        w.s.ui.AnswerSort(w.s.list, false);
        ASSERT_FALSE(SortCommand(w.s.list, w.s.root.str(), w.s.ui.commands(), w.file).Failed());
    }
    EXPECT_EQ(Rows(w.file, "SELECT date, time, group_concat(disc.name) FROM backup JOIN disc ON disc.backup = backup.id"
                           " GROUP BY backup.id ORDER BY backup.id"),
              (std::vector<std::string>{"2026-12-07|13:05|CD-A,CD-B", "2026-12-07|13:05|CD-A", "2026-12-07|14:10|CD-C",
                                        "2026-12-07|14:10|CD-D"}));
    EXPECT_NE(ReadFile(w.s.root.path() / "CD-C" / DiscLabelName).find("of the backup sort of 2026-12-07 14:10, CD-C."),
              std::string::npos);
    // The unsort of the last sort forgets its disc only.
    w.s.ui.AnswerSort(w.s.list, false);
    ASSERT_FALSE(UnsortCommand(w.s.root.str(), CDMedium(), w.s.ui.commands(), w.file).Failed());
    EXPECT_EQ(Rows(w.file, "SELECT group_concat(name) FROM disc"), (std::vector<std::string>{"CD-A,CD-B,CD-A,CD-C"}));
}

TEST(Catalogue, RebuiltFromTheSetFoldersItGivesTheSameWhereAnswers)
{
    Sorted w;
    ASSERT_FALSE(w.sorted.Failed()) << w.sorted.Message();
    ASSERT_FALSE(ChecksumCommand(w.s.root.str(), false, w.s.ui.commands(), w.file).Failed());
    const auto answers = [&] {
        std::vector<WhereRow> rows;
        const Result found = WhereCommand("", w.file, rows);
        std::vector<std::string> lines = found.Lines();
        for (const std::string& row : Rows(w.file, "SELECT file.name, sha256 FROM file ORDER BY file.name"))
            lines.push_back(row);
        return lines;
    };
    const std::vector<std::string> before = answers();
    ASSERT_EQ(before.size(), 6u);

    fs::remove_all(w.home.path() / "kelvark");
    RecordingProgress progress;
    const Result added = CatalogueAddCommand({w.s.root.str() + "CD-A", w.s.root.str() + "CD-B/"}, {}, w.file, progress);
    EXPECT_EQ(added.Lines(),
              (std::vector<std::string>{"Added CD-A of the backup of " + w.Root() + " of 2026-12-07 13:05: 1 project.",
                                        "Added CD-B of the backup of " + w.Root() + " of 2026-12-07 13:05: 1 project."}));
    EXPECT_EQ(answers(), before);

    // From the discs' images too: their labels, SHA256SUMS and project files.
    TempDir images;
    ASSERT_FALSE(ImageCommand(w.s.root.str(), images.str(), {}, w.s.ui.commands()).Failed());
    fs::remove_all(w.home.path() / "kelvark");
    ASSERT_FALSE(
        CatalogueAddCommand({images.str() + "CD-A.iso", images.str() + "CD-B.iso"}, {}, w.file, progress).Failed());
    EXPECT_EQ(answers(), before);

    // A folder that is no disc of a sort is refused, naming it.
    const Result refused = CatalogueAddCommand({w.s.root.str()}, {}, w.file, progress);
    EXPECT_EQ(refused.Ended(), Result::Status::Refused);
    EXPECT_EQ(refused.Message(), w.s.root.str() + " holds no Kelvark Disc.txt: it is no disc of a backup sort.");
}

TEST(Catalogue, ASortLeavesAProjectADiscOfTheFolderHoldsUnchangedInTheFolder)
{
    const struct {
        const char* what;
        bool catalogue;
        bool changed; // a byte of the read-only project's wave changed
        bool shared; // a new project plays the read-only project's wave too
        std::vector<std::string> already; // the sort's lines naming what a disc holds
        std::vector<std::string> copied; // the files of the second sort's set folder, but its label and checksums
    } cases[] = {
        {"both as on their disc",
         true,
         false,
         false,
         {"Alpha is on CD-A already, unchanged.", "Beta is on CD-A already, unchanged."},
         {}},
        {"a byte of a wave changed",
         true,
         true,
         false,
         {"Beta is on CD-A already, unchanged."},
         {"Alpha.cue", "alpha.wav"}},
        {"its wave played by a project to sort",
         true,
         false,
         true,
         {"Beta is on CD-A already, unchanged."},
         {"Alpha v2.cue", "Alpha.cue", "alpha.wav"}},
        {"no catalogue", false, false, false, {}, {"Alpha.cue", "Beta.cue", "alpha.wav", "beta.wav"}},
    };
    for (const auto& c : cases) {
        Studio s;
        TempDir home;
        const std::string file = (home.path() / "catalogue.sqlite").string();
        WriteProject(s.root.path(), "Alpha", {{"alpha.wav", 1000}});
        WriteProject(s.root.path(), "Beta", {{"beta.wav", 1000}});
        MakeReadOnly(s.root.path() / "Alpha.cue");
        s.Read(true);
        s.ui.AnswerSort(s.list, false);
        ASSERT_FALSE(SortCommand(s.list, s.root.str(), s.ui.commands(), file).Failed()) << c.what;
        ASSERT_FALSE(ChecksumCommand(s.root.str(), false, s.ui.commands(), file).Failed()) << c.what;
        // Beta is restored into the folder: its files copied back from its set folder.
        for (const char* name : {"Beta.cue", "beta.wav"})
            fs::copy_file(s.root.path() / "CD-A" / name, s.root.path() / name);
        if (c.changed) {
            std::string wave = ReadFile(s.root.path() / "alpha.wav");
            wave.back() ^= 1;
            WriteFile(s.root.path() / "alpha.wav", wave);
        }
        if (c.shared)
            WriteProject(s.root.path(), "Alpha v2", {{"alpha.wav", 1000}});
        s.Read(true);
        s.ui.AnswerSort(s.list, false);
        const Result sorted = SortCommand(s.list, s.root.str(), s.ui.commands(), c.catalogue ? file : "");
        ASSERT_FALSE(sorted.Failed()) << c.what << "\n" << sorted.Message();
        std::vector<std::string> already;
        for (const std::string& line : sorted.Lines())
            if (line.find(" already, unchanged") != std::string::npos)
                already.push_back(line);
        EXPECT_EQ(already, c.already) << c.what;
        std::vector<std::string> copied;
        if (fs::exists(s.root.path() / "CD-B"))
            for (const std::string& name : EntryNames(s.root.path() / "CD-B"))
                if (name != DiscLabelName && name != ManifestName)
                    copied.push_back(name);
        EXPECT_EQ(copied, c.copied) << c.what;
        EXPECT_EQ(fs::exists(s.root.path() / "Beta.cue"), c.catalogue) << c.what;
    }
}

} // namespace
