#include "Catalogue.h"

#include "FileOps.h"
#include "TextCodec.h"

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sys/stat.h>
#include <unordered_map>

namespace kelvark {

std::string DefaultCataloguePath()
{
    // Only an absolute folder counts: a relative one would name a different
    // catalogue in every folder a command runs in.
    const auto absolute = [](const char* name) {
        const char* value = std::getenv(name);
        return value != nullptr && value[0] == '/' ? std::string(value) : std::string();
    };
    if (const std::string data = absolute("XDG_DATA_HOME"); !data.empty())
        return data + "/kelvark/catalogue.sqlite";
    if (const std::string home = absolute("HOME"); !home.empty())
        return home + "/.local/share/kelvark/catalogue.sqlite";
    return {};
}

namespace {

// The schema's history: migration i takes a catalogue of version i to i + 1.
// A file of version 0 is new. Only ever add to the end of this list: files
// of every version written are out there on users' machines.
const char* const Migrations[] = {
    R"(CREATE TABLE backup(
         id INTEGER PRIMARY KEY,
         root TEXT NOT NULL,
         date TEXT NOT NULL,
         medium TEXT NOT NULL,
         UNIQUE(root, date));
       CREATE TABLE disc(
         id INTEGER PRIMARY KEY,
         backup INTEGER NOT NULL REFERENCES backup(id) ON DELETE CASCADE,
         name TEXT NOT NULL,
         number INTEGER NOT NULL,
         count INTEGER NOT NULL,
         budget INTEGER NOT NULL,
         bytes INTEGER NOT NULL,
         volume TEXT,
         written TEXT,
         drive TEXT,
         verified TEXT,
         verdict TEXT,
         UNIQUE(backup, name));
       CREATE TABLE project(
         id INTEGER PRIMARY KEY,
         disc INTEGER NOT NULL REFERENCES disc(id) ON DELETE CASCADE,
         name TEXT NOT NULL,
         verdict TEXT);
       CREATE INDEX project_disc ON project(disc);
       CREATE TABLE file(
         id INTEGER PRIMARY KEY,
         project INTEGER NOT NULL REFERENCES project(id) ON DELETE CASCADE,
         name TEXT NOT NULL,
         size INTEGER NOT NULL,
         sha256 TEXT);
       CREATE INDEX file_project ON file(project);)",
    // Each sort a backup of its own, told apart by its time of day; each disc
    // known by the identity its label carries; verdicts kept as counts and
    // states (the sentences of the checks made before stay in verdict). The
    // backup table is made anew without its one-per-day constraint, its ids
    // kept, while the foreign keys are not enforced.
    R"(CREATE TABLE sorted(
         id INTEGER PRIMARY KEY,
         root TEXT NOT NULL,
         date TEXT NOT NULL,
         time TEXT NOT NULL DEFAULT '',
         medium TEXT NOT NULL);
       INSERT INTO sorted(id, root, date, medium) SELECT id, root, date, medium FROM backup;
       DROP TABLE backup;
       ALTER TABLE sorted RENAME TO backup;
       CREATE INDEX backup_day ON backup(root, date, time);
       ALTER TABLE disc ADD COLUMN identity TEXT;
       CREATE UNIQUE INDEX disc_identity ON disc(identity);
       ALTER TABLE disc ADD COLUMN intact INTEGER;
       ALTER TABLE disc ADD COLUMN changed INTEGER;
       ALTER TABLE disc ADD COLUMN missing INTEGER;
       ALTER TABLE disc ADD COLUMN unreadable INTEGER;
       ALTER TABLE disc ADD COLUMN unlisted INTEGER;
       ALTER TABLE disc ADD COLUMN unchecked INTEGER;
       ALTER TABLE disc ADD COLUMN extra INTEGER;
       ALTER TABLE disc ADD COLUMN faulty INTEGER;
       ALTER TABLE disc ADD COLUMN malformed INTEGER;
       ALTER TABLE disc ADD COLUMN damage INTEGER;
       ALTER TABLE project ADD COLUMN state INTEGER;
       ALTER TABLE project ADD COLUMN faulty INTEGER;)",
};
constexpr int KnownVersion = static_cast<int>(std::size(Migrations));

// Kelvark's own mark in every catalogue's header ("KlvK"): a file without
// it is another program's, and is never written.
constexpr std::int64_t ApplicationId = 0x4B6C764B;
// The tables of the first version, whose files were made without the mark.
const std::string FirstTables = "backup,disc,file,project";

// How long a recording waits for another program writing the same file.
constexpr int BusyMilliseconds = 5000;

// One prepared statement, its parameters bound by position from 1.
class Statement final {
public:
    Statement(sqlite3* db, const char* sql) { code = sqlite3_prepare_v2(db, sql, -1, &statement, nullptr); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ~Statement() { sqlite3_finalize(statement); }

    Statement& Bind(int at, const std::string& text)
    {
        Check(sqlite3_bind_text(statement, at, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT));
        return *this;
    }
    // An empty text is stored as NULL: not known.
    Statement& BindKnown(int at, const std::string& text)
    {
        if (text.empty())
            Check(sqlite3_bind_null(statement, at));
        else
            Bind(at, text);
        return *this;
    }
    Statement& Bind(int at, std::int64_t number)
    {
        Check(sqlite3_bind_int64(statement, at, number));
        return *this;
    }
    // Steps once: true while it gives a row.
    bool Row()
    {
        if (code != SQLITE_OK)
            return false;
        const int step = sqlite3_step(statement);
        if (step == SQLITE_ROW)
            return true;
        if (step != SQLITE_DONE)
            code = step;
        return false;
    }
    // Runs it to its end and makes it ready to run again with new parameters.
    int Run()
    {
        while (Row()) {}
        // A statement that could not be prepared is none.
        if (statement != nullptr) {
            sqlite3_reset(statement);
            sqlite3_clear_bindings(statement);
        }
        return code;
    }
    std::string Text(int column) const
    {
        const auto* text = sqlite3_column_text(statement, column);
        return text == nullptr ? std::string()
                               : std::string(reinterpret_cast<const char*>(text),
                                             static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
    }
    std::int64_t Number(int column) const { return sqlite3_column_int64(statement, column); }
    int Code() const { return code; }

private:
    void Check(int result)
    {
        if (code == SQLITE_OK)
            code = result;
    }
    sqlite3_stmt* statement = nullptr;
    int code = SQLITE_OK;
};

// What went wrong with the catalogue at path, in a sentence naming it.
Result Fault(sqlite3* db, const std::string& path, int code)
{
    // The connection's own words while they are still of this failure (a
    // rollback since replaces them), else the code's.
    const std::string why =
        db != nullptr && sqlite3_extended_errcode(db) == code ? sqlite3_errmsg(db) : sqlite3_errstr(code);
    switch (code & 0xFF) {
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB: return Result("The catalogue " + path + " is damaged: " + why + ".");
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return Result("The catalogue " + path + " is locked by another program.");
    default: return Result("The catalogue " + path + " could not be written: " + why + ".");
    }
}

int Execute(sqlite3* db, const char* sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

// Runs record as one transaction: committed when it answers SQLITE_OK, else
// rolled back whole.
int Transaction(sqlite3* db, const std::function<int()>& record)
{
    int code = Execute(db, "BEGIN IMMEDIATE");
    if (code != SQLITE_OK)
        return code;
    code = record();
    if (code == SQLITE_OK)
        code = Execute(db, "COMMIT");
    if (code != SQLITE_OK)
        Execute(db, "ROLLBACK");
    return code;
}

int UserVersion(sqlite3* db, int& version)
{
    Statement statement(db, "PRAGMA user_version");
    if (statement.Row())
        version = static_cast<int>(statement.Number(0));
    return statement.Run();
}

// Whose the file is, read from its header and its schema without writing.
struct Owner {
    std::int64_t id = 0; // its application_id
    int version = 0; // its user_version
    std::string tables; // its tables' names, in order, joined by ","

    // Kelvark's mark, a file of the first version made before the mark was
    // set (its tables exactly those of that version), or an empty file.
    bool Kelvarks() const
    {
        return id == ApplicationId || (id == 0 && version == 1 && tables == FirstTables)
               || (id == 0 && version == 0 && tables.empty());
    }
};

int Identify(sqlite3* db, Owner& owner)
{
    Statement id(db, "PRAGMA application_id");
    if (id.Row())
        owner.id = id.Number(0);
    if (const int code = id.Run(); code != SQLITE_OK)
        return code;
    if (const int code = UserVersion(db, owner.version); code != SQLITE_OK)
        return code;
    Statement tables(db, "SELECT name FROM sqlite_schema WHERE type = 'table' ORDER BY name");
    while (tables.Row())
        owner.tables += (owner.tables.empty() ? "" : ",") + tables.Text(0);
    return tables.Run();
}

std::string DiscName(const DiscKey& disc)
{
    return disc.set + " of the backup of " + disc.root + " of " + disc.date;
}

// The disc's id into id; SQLITE_NOTFOUND when the catalogue has no such
// disc. A disc with an identity is known by it alone; one without by its
// backup's root, day and time and its name, the latest such disc.
int FindDisc(sqlite3* db, const DiscKey& disc, std::int64_t& id)
{
    Statement find(db, "SELECT disc.id FROM disc JOIN backup ON backup.id = disc.backup"
                       " WHERE CASE WHEN ?1 <> '' THEN disc.identity = ?1 ELSE disc.identity IS NULL AND"
                       " backup.root = ?2 AND backup.date = ?3 AND backup.time = ?4 AND disc.name = ?5 END"
                       " ORDER BY disc.id DESC LIMIT 1");
    find.Bind(1, disc.id).Bind(2, disc.root).Bind(3, disc.date).Bind(4, disc.time).Bind(5, disc.set);
    const bool found = find.Row();
    if (found)
        id = find.Number(0);
    const int code = find.Run();
    return code == SQLITE_OK && !found ? SQLITE_NOTFOUND : code;
}

// The words of a project's verdict, made from the state and the number of
// its files not intact that the catalogue keeps: "changed: 2 files".
std::string ProjectVerdict(FileState state, std::int64_t faulty)
{
    const char* word = state == FileState::Intact       ? "intact"
                       : state == FileState::Changed    ? "changed"
                       : state == FileState::Missing    ? "missing"
                       : state == FileState::Unreadable ? "unreadable"
                       : state == FileState::Unlisted   ? "not in SHA256SUMS"
                                                        : "not checked";
    return word + (faulty > 0 ? ": " + Counted(static_cast<std::size_t>(faulty), "file", "files") : std::string());
}

// Runs update on the id of the catalogue's disc as one transaction; names
// the disc when the catalogue holds no such disc.
Result UpdateDisc(sqlite3* db, const std::string& path, const DiscKey& disc,
                  const std::function<int(std::int64_t)>& update)
{
    const int code = Transaction(db, [&] {
        std::int64_t id = 0;
        const int found = FindDisc(db, disc, id);
        return found == SQLITE_OK ? update(id) : found;
    });
    if (code == SQLITE_NOTFOUND)
        return Result("The catalogue " + path + " holds no " + DiscName(disc) + ".");
    return code == SQLITE_OK ? Result() : Fault(db, path, code);
}

} // namespace

Catalogue::~Catalogue()
{
    sqlite3_close(db);
}

Result Catalogue::Open(const std::string& file, CatalogueUse use)
{
    sqlite3_close(db);
    db = nullptr;
    path = file;
    absent = false;
    // Asked before SQLite is: its own answer names no reason, and a file
    // not there is no failure for a command that only reads or changes it.
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        const std::error_code error = LastErrno();
        if (error != std::errc::no_such_file_or_directory)
            return Result("The catalogue " + path + " can't be opened: " + ErrorText(error) + ".");
        absent = use != CatalogueUse::Create;
        if (absent)
            return {};
        std::error_code made;
        if (const auto folder = std::filesystem::path(path).parent_path(); !folder.empty())
            std::filesystem::create_directories(folder, made);
        if (made)
            return Result("The catalogue " + path + " can't be created: " + ErrorText(made) + ".");
    } else if (!S_ISREG(status.st_mode)) {
        return Result("The catalogue " + path + " is not a file.");
    }
    const int flags = use == CatalogueUse::Read     ? SQLITE_OPEN_READONLY
                      : use == CatalogueUse::Change ? SQLITE_OPEN_READWRITE
                                                    : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    int code = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
    Owner owner;
    if (code == SQLITE_OK) {
        sqlite3_extended_result_codes(db, 1);
        sqlite3_busy_timeout(db, BusyMilliseconds);
        code = Identify(db, owner);
    }
    // Told before anything is set: another program's file, or a newer one,
    // is left exactly as it is.
    if (code == SQLITE_OK && !owner.Kelvarks()) {
        sqlite3_close(db);
        db = nullptr;
        return Result("The catalogue " + path + " is not Kelvark's: it is another program's database. It was not "
                      "changed.");
    }
    if (code == SQLITE_OK && owner.version > KnownVersion) {
        sqlite3_close(db);
        db = nullptr;
        return Result("The catalogue " + path + " was written by a newer Kelvark: its version "
                      + std::to_string(owner.version) + " is newer than " + std::to_string(KnownVersion)
                      + ", the latest this one knows. It was not changed.");
    }
    if (code == SQLITE_OK && use == CatalogueUse::Read) {
        // An empty file holds nothing, as a missing one.
        if (owner.version == 0) {
            sqlite3_close(db);
            db = nullptr;
            absent = true;
        }
        // An older schema can't be read as this one: it is migrated first, as
        // its next recording would.
        if (owner.version == 0 || owner.version == KnownVersion)
            return {};
        return Open(file, CatalogueUse::Change);
    }
    // The rollback journal keeps the catalogue one file, on any file system.
    if (code == SQLITE_OK)
        code = Execute(db, "PRAGMA journal_mode=DELETE");
    // An older catalogue is copied aside, whole and consistent, before it is migrated.
    if (code == SQLITE_OK && owner.version > 0 && owner.version < KnownVersion) {
        const std::string copy = path + ".bak";
        std::error_code error;
        std::filesystem::remove(copy, error);
        Statement vacuum(db, "VACUUM INTO ?");
        vacuum.Bind(1, copy);
        code = vacuum.Run();
    }
    if (code == SQLITE_OK && (owner.version < KnownVersion || owner.id != ApplicationId))
        code = Transaction(db, [&] {
            // Read again under the write lock: another program may have migrated it meanwhile.
            int at = 0;
            int step = UserVersion(db, at);
            for (; step == SQLITE_OK && at < KnownVersion; ++at)
                step = Execute(db, Migrations[at]);
            if (step == SQLITE_OK)
                step = Execute(db, ("PRAGMA user_version=" + std::to_string(KnownVersion)).c_str());
            if (step == SQLITE_OK)
                step = Execute(db, ("PRAGMA application_id=" + std::to_string(ApplicationId)).c_str());
            return step;
        });
    // Enforced once the migrations ran: one makes a table anew.
    if (code == SQLITE_OK)
        code = Execute(db, "PRAGMA foreign_keys=ON");
    if (code == SQLITE_OK)
        return {};
    Result fault = Fault(db, path, code);
    sqlite3_close(db);
    db = nullptr;
    return fault;
}

Result Catalogue::Closed() const
{
    // A catalogue whose Open failed is used no further.
    return absent ? Result() : Result("The catalogue " + path + " is not open.");
}

Result Catalogue::RecordBackup(const CatalogueBackup& backup)
{
    if (db == nullptr)
        return Closed();
    const int code = Transaction(db, [&] {
        // The backup a new disc goes into: the sort's own, made with its
        // first disc, else the latest of its day and time without the name.
        std::int64_t sortedId = 0;
        Statement findBackup(db, "SELECT id FROM backup WHERE root = ? AND date = ? AND time = ? AND NOT EXISTS"
                                 " (SELECT 1 FROM disc WHERE disc.backup = backup.id AND disc.name = ?)"
                                 " ORDER BY id DESC LIMIT 1");
        Statement saveBackup(db, "INSERT INTO backup(root, date, time, medium) VALUES(?, ?, ?, ?) RETURNING id");
        const auto backupFor = [&](const CatalogueDisc& disc, std::int64_t& id) {
            if (backup.sorted && sortedId != 0) {
                id = sortedId;
                return SQLITE_OK;
            }
            if (!backup.sorted) {
                findBackup.Bind(1, backup.root).Bind(2, backup.date).Bind(3, backup.time).Bind(4, disc.set);
                const bool found = findBackup.Row();
                if (found)
                    id = findBackup.Number(0);
                if (const int step = findBackup.Run(); step != SQLITE_OK || found)
                    return step;
            }
            saveBackup.Bind(1, backup.root).Bind(2, backup.date).Bind(3, backup.time).Bind(4, backup.medium);
            id = saveBackup.Row() ? saveBackup.Number(0) : 0;
            sortedId = id;
            return saveBackup.Run();
        };
        Statement saveDisc(db, "INSERT INTO disc(backup, name, number, count, budget, bytes, identity)"
                               " VALUES(?, ?, ?, ?, ?, ?, ?) RETURNING id");
        Statement updateDisc(db, "UPDATE disc SET number = ?, count = ?, budget = ?, bytes = ? WHERE id = ?");
        Statement verdicts(db, "SELECT name, state, faulty, verdict FROM project WHERE disc = ?");
        Statement clear(db, "DELETE FROM project WHERE disc = ?");
        Statement saveProject(db, "INSERT INTO project(disc, name, state, faulty, verdict) VALUES(?, ?, ?, ?, ?)");
        Statement saveFile(db, "INSERT INTO file(project, name, size, sha256) VALUES(?, ?, ?, ?)");
        for (const auto& disc : backup.discs) {
            std::int64_t discId = 0;
            int step = SQLITE_NOTFOUND;
            if (!backup.sorted)
                step = FindDisc(db, {backup.root, backup.date, disc.set, backup.time, disc.id}, discId);
            if (step == SQLITE_OK) {
                updateDisc.Bind(1, disc.number).Bind(2, disc.count).Bind(3, disc.budget).Bind(4, disc.bytes);
                step = updateDisc.Bind(5, discId).Run();
            } else if (step == SQLITE_NOTFOUND) {
                std::int64_t backupId = 0;
                step = backupFor(disc, backupId);
                if (step == SQLITE_OK) {
                    saveDisc.Bind(1, backupId).Bind(2, disc.set).Bind(3, disc.number).Bind(4, disc.count);
                    saveDisc.Bind(5, disc.budget).Bind(6, disc.bytes).BindKnown(7, disc.id);
                    discId = saveDisc.Row() ? saveDisc.Number(0) : 0;
                    step = saveDisc.Run();
                }
            }
            if (step != SQLITE_OK)
                return step;
            // Its projects are replaced; those it holds again keep their verdicts.
            struct Kept {
                std::string state, faulty, verdict;
            };
            std::unordered_map<std::string, Kept> kept;
            verdicts.Bind(1, discId);
            while (verdicts.Row())
                kept[verdicts.Text(0)] = {verdicts.Text(1), verdicts.Text(2), verdicts.Text(3)};
            if (step = verdicts.Run(); step != SQLITE_OK)
                return step;
            if (step = clear.Bind(1, discId).Run(); step != SQLITE_OK)
                return step;
            for (const auto& project : disc.projects) {
                const Kept& was = kept[project.name];
                saveProject.Bind(1, discId).Bind(2, project.name).BindKnown(3, was.state).BindKnown(4, was.faulty);
                if (step = saveProject.BindKnown(5, was.verdict).Run(); step != SQLITE_OK)
                    return step;
                const std::int64_t projectId = sqlite3_last_insert_rowid(db);
                for (const auto& file : project.files) {
                    saveFile.Bind(1, projectId).Bind(2, file.name).Bind(3, file.size).BindKnown(4, file.sha256);
                    if (step = saveFile.Run(); step != SQLITE_OK)
                        return step;
                }
            }
        }
        return SQLITE_OK;
    });
    return code == SQLITE_OK ? Result() : Fault(db, path, code);
}

Result Catalogue::RecordChecksums(const DiscKey& disc, const std::vector<std::pair<std::string, std::string>>& sums)
{
    if (db == nullptr)
        return Closed();
    return UpdateDisc(db, path, disc, [&](std::int64_t id) {
        Statement save(db, "UPDATE file SET sha256 = ? WHERE name = ? AND project IN"
                           " (SELECT id FROM project WHERE disc = ?)");
        for (const auto& [name, sha256] : sums)
            if (const int step = save.Bind(1, sha256).Bind(2, name).Bind(3, id).Run(); step != SQLITE_OK)
                return step;
        return SQLITE_OK;
    });
}

Result Catalogue::RecordWritten(const DiscKey& disc, const std::string& volume, const std::string& date,
                                const std::string& drive)
{
    if (db == nullptr)
        return Closed();
    return UpdateDisc(db, path, disc, [&](std::int64_t id) {
        Statement save(db, "UPDATE disc SET volume = ?, written = ?, drive = ? WHERE id = ?");
        return save.BindKnown(1, volume).Bind(2, date).BindKnown(3, drive).Bind(4, id).Run();
    });
}

Result Catalogue::ForgetUnwritten(const DiscKey& disc)
{
    if (db == nullptr)
        return Closed();
    const int code = Transaction(db, [&] {
        std::int64_t id = 0;
        if (const int found = FindDisc(db, disc, id); found != SQLITE_OK)
            return found == SQLITE_NOTFOUND ? SQLITE_OK : found;
        Statement forget(db, "DELETE FROM disc WHERE written IS NULL AND verified IS NULL AND id = ?");
        if (const int step = forget.Bind(1, id).Run(); step != SQLITE_OK)
            return step;
        Statement empty(db, "DELETE FROM backup WHERE NOT EXISTS (SELECT 1 FROM disc WHERE disc.backup = backup.id)");
        return empty.Run();
    });
    return code == SQLITE_OK ? Result() : Fault(db, path, code);
}

Result Catalogue::RecordVerified(const DiscKey& disc, const std::string& date, const FolderCheck& check)
{
    if (db == nullptr)
        return Closed();
    return UpdateDisc(db, path, disc, [&](std::int64_t id) {
        const CheckCounts counts = CountsOf(check);
        Statement saveDisc(db, "UPDATE disc SET verified = ?, verdict = NULL, intact = ?, changed = ?, missing = ?,"
                               " unreadable = ?, unlisted = ?, unchecked = ?, extra = ?, faulty = ?, malformed = ?,"
                               " damage = ? WHERE id = ?");
        saveDisc.Bind(1, date).Bind(2, counts.intact).Bind(3, counts.changed).Bind(4, counts.missing);
        saveDisc.Bind(5, counts.unreadable).Bind(6, counts.unlisted).Bind(7, counts.unchecked);
        saveDisc.Bind(8, counts.extra).Bind(9, counts.faulty).Bind(10, counts.malformed).Bind(11, counts.damage);
        saveDisc.Bind(12, id);
        if (const int step = saveDisc.Run(); step != SQLITE_OK)
            return step;
        Statement saveProject(db, "UPDATE project SET state = ?, faulty = ?, verdict = NULL WHERE disc = ? AND name = ?");
        for (const ProjectCheck& project : check.projects) {
            const auto faulty = std::count_if(project.files.begin(), project.files.end(),
                                              [&](std::size_t i) { return check.files[i].state != FileState::Intact; });
            saveProject.Bind(1, static_cast<std::int64_t>(ProjectState(check, project)))
                .Bind(2, static_cast<std::int64_t>(faulty))
                .Bind(3, id)
                .Bind(4, project.name);
            if (const int step = saveProject.Run(); step != SQLITE_OK)
                return step;
        }
        return SQLITE_OK;
    });
}

Result Catalogue::Where(const std::string& text, std::vector<WhereRow>& rows)
{
    rows.clear();
    // SQLite refuses a long pattern with words of its own; the user is told
    // what to change. Characters are counted as UTF-8 lead bytes.
    const auto characters = std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; });
    if (static_cast<std::size_t>(characters) > WhereLongest)
        return Result("The search text is too long: " + std::to_string(characters) + " characters, at most "
                          + std::to_string(WhereLongest) + ".",
                      Result::Status::Refused);
    if (db == nullptr)
        return Closed();
    // LIKE ignores the case of ASCII letters only (SQLite's own, without
    // ICU): "blue" finds "Blue Hour", "é" does not find "É". The text's %, _
    // and \ are escaped, so that each is found as itself.
    std::string pattern = "%";
    for (const char c : text) {
        if (c == '%' || c == '_' || c == '\\')
            pattern += '\\';
        pattern += c;
    }
    pattern += '%';
    Statement find(db, "SELECT project.name, backup.root, backup.date, disc.name, disc.written, disc.verified,"
                       " project.verdict, backup.time, disc.identity, project.state IS NOT NULL, project.state,"
                       " project.faulty FROM project JOIN disc ON disc.id = project.disc"
                       " JOIN backup ON backup.id = disc.backup WHERE project.name LIKE ? ESCAPE '\\'"
                       " ORDER BY lower(project.name), project.name, backup.root, backup.date, backup.time, disc.name");
    find.Bind(1, pattern);
    while (find.Row())
        rows.push_back({find.Text(0),
                        {find.Text(1), find.Text(2), find.Text(3), find.Text(7), find.Text(8)},
                        find.Text(4),
                        find.Text(5),
                        find.Number(9) != 0
                            ? ProjectVerdict(static_cast<FileState>(find.Number(10)), find.Number(11))
                            : find.Text(6)});
    const int code = find.Run();
    return code == SQLITE_OK ? Result() : Fault(db, path, code);
}

Result Catalogue::Discs(const std::string& today, std::vector<DiscRow>& rows)
{
    rows.clear();
    if (db == nullptr)
        return Closed();
    // A disc's last check: its last verify, else its writing, else its sort.
    Statement list(db, "SELECT backup.root, backup.date, disc.name, backup.medium,"
                       " (SELECT count(*) FROM project WHERE project.disc = disc.id),"
                       " disc.written, disc.verified, disc.verdict,"
                       " coalesce(disc.verified, disc.written, backup.date) AS checked,"
                       " coalesce(disc.verified, disc.written, backup.date) <= date(?, '-3 years'),"
                       " backup.time, disc.identity, disc.intact IS NOT NULL, disc.intact, disc.changed, disc.missing,"
                       " disc.unreadable, disc.unlisted, disc.unchecked, disc.extra, disc.faulty, disc.malformed,"
                       " coalesce(disc.damage, 0) FROM disc JOIN backup ON backup.id = disc.backup"
                       " ORDER BY checked, backup.root, backup.date, backup.time, length(disc.name), disc.name");
    list.Bind(1, today);
    while (list.Row()) {
        const auto counts = [&] {
            return CountsText({list.Number(13), list.Number(14), list.Number(15), list.Number(16), list.Number(17),
                               list.Number(18), list.Number(19), list.Number(20), list.Number(21), list.Number(22)});
        };
        rows.push_back({{list.Text(0), list.Text(1), list.Text(2), list.Text(10), list.Text(11)},
                        list.Text(3),
                        static_cast<int>(list.Number(4)),
                        list.Text(5),
                        list.Text(6),
                        list.Number(12) != 0 ? counts() : list.Text(7),
                        list.Number(9) != 0});
    }
    const int code = list.Run();
    return code == SQLITE_OK ? Result() : Fault(db, path, code);
}

Result Catalogue::SetsOf(const std::string& root, std::vector<std::string>& sets)
{
    sets.clear();
    if (db == nullptr)
        return Closed();
    Statement list(db, "SELECT disc.name FROM disc JOIN backup ON backup.id = disc.backup WHERE backup.root = ?"
                       " GROUP BY disc.name ORDER BY length(disc.name), disc.name");
    list.Bind(1, root);
    while (list.Row())
        sets.push_back(list.Text(0));
    const int code = list.Run();
    return code == SQLITE_OK ? Result() : Fault(db, path, code);
}

Result Catalogue::ProjectsOf(const std::string& root, std::vector<KnownProject>& projects)
{
    projects.clear();
    if (db == nullptr)
        return Closed();
    Statement list(db, "SELECT project.id, disc.name, project.name, file.name, file.size, file.sha256"
                       " FROM file JOIN project ON project.id = file.project JOIN disc ON disc.id = project.disc"
                       " JOIN backup ON backup.id = disc.backup WHERE backup.root = ? ORDER BY project.id, file.id");
    list.Bind(1, root);
    std::int64_t last = -1;
    while (list.Row()) {
        if (list.Number(0) != last) {
            last = list.Number(0);
            projects.push_back({list.Text(1), {list.Text(2), {}}});
        }
        projects.back().project.files.push_back({list.Text(3), list.Number(4), list.Text(5)});
    }
    const int code = list.Run();
    return code == SQLITE_OK ? Result() : Fault(db, path, code);
}

} // namespace kelvark
