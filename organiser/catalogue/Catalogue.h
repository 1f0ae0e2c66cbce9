#pragma once

#include "DiscCheck.h"
#include "Result.h"

#include <cstdint>
#include <string>
#include <vector>

struct sqlite3;

namespace kelvark {

// The catalogue: one SQLite database of every backup disc the user made,
// kept for years. A sort records its backup, its discs, their projects and
// their files; writing checksums adds each file's SHA-256; writing an image
// or a disc adds the volume id, the day and the drive; a verify of a disc
// adds the day and the verdict of the disc and of each of its projects, kept
// as counts and states and said when shown. A disc is known by the identity
// its label carries; a disc sorted before labels carried one by its backup's
// root folder, the day and time of its sort and its set's name. Each sort is
// a backup of its own.

// $XDG_DATA_HOME/kelvark/catalogue.sqlite, or $HOME/.local/share/kelvark/…
// when XDG_DATA_HOME is not set; an empty or relative folder counts as not
// set. Empty when neither is set: there is no catalogue then.
std::string DefaultCataloguePath();
// Said once by a command that goes on without the catalogue for that reason.
inline const std::string NoCatalogueText = "No catalogue: neither XDG_DATA_HOME nor HOME is set.";

// What a command does with the catalogue: reads it (opened read-only; a
// file not there holds nothing), changes what an existing one holds, or
// records into it, creating it and its folder when missing.
enum class CatalogueUse { Read, Change, Create };

struct CatalogueFile {
    std::string name; // its path in the set folder, as on the disc
    std::int64_t size = 0;
    std::string sha256; // lowercase hex; empty until checksums give it
};

struct CatalogueProject {
    std::string name;
    std::vector<CatalogueFile> files;
};

struct CatalogueDisc {
    std::string set; // "DVD-C"
    int number = 0; // its place among its backup's discs, from 1
    int count = 0; // its backup's discs
    std::int64_t budget = 0; // the bytes its medium holds
    std::int64_t bytes = 0; // the bytes its set takes
    std::vector<CatalogueProject> projects;
    std::string id = {}; // its label's identity; empty when its label has none
};

struct CatalogueBackup {
    std::string root; // the root folder sorted, without a trailing separator
    std::string date; // the day of the sort, "2026-12-10"
    std::string medium; // the medium's key, "dvd", or a custom disc's size in bytes
    std::vector<CatalogueDisc> discs;
    std::string time = {}; // the time of day of the sort, "13:05"; empty when its labels do not say
    // Made by a sort just now: a backup of its own, whatever else shares its day.
    bool sorted = false;
};

// Which disc: its identity when its label has one, else which disc of which backup.
struct DiscKey {
    std::string root;
    std::string date;
    std::string set;
    std::string time = {}; // "13:05", empty on older labels
    std::string id = {}; // empty on older labels
};

// A project the catalogue knows, where it is, and its disc's history.
struct WhereRow {
    std::string project;
    DiscKey disc;
    std::string written; // the day its disc was written, empty when unknown
    std::string verified; // the day its disc was last verified, empty when never
    std::string verdict; // the project's verdict then ("intact", "changed …"), empty when never
};

// A disc and its checks: Discs lists them, oldest check first.
struct DiscRow {
    DiscKey disc;
    std::string medium;
    int projects = 0;
    std::string written;
    std::string verified;
    std::string verdict; // the disc's summary then, empty when never verified
    bool due = false; // not verified (or, never verified, not written or sorted) for three years or more
};

// One open catalogue: one connection, used from one thread at a time. Each
// recording is one transaction, whole or not at all. A failure says which
// file and why: damaged, locked by another program, another program's
// database or written by a newer Kelvark (both refused, never changed), or
// not writable. A catalogue carries Kelvark's application_id; one of the
// first version, made before it did, gets it with its next change.
class Catalogue final {
public:
    Catalogue() = default;
    Catalogue(const Catalogue&) = delete;
    Catalogue& operator=(const Catalogue&) = delete;
    ~Catalogue();

    // Opens file for use, and migrates an older schema forward after copying
    // the file aside. Read and Change of a file that is not there succeed:
    // every call then answers as an empty catalogue would, changing nothing.
    Result Open(const std::string& file, CatalogueUse use = CatalogueUse::Create);

    // A backup's discs. A disc the catalogue knows (by its key) keeps its
    // history and its projects' verdicts, its projects and files replaced;
    // another is added to the backup of its root, day and time that has no
    // disc of its name (a sort's always to a new one).
    Result RecordBackup(const CatalogueBackup& backup);
    // A set folder's checksums: SHA256SUMS's lines, name and lowercase hex.
    Result RecordChecksums(const DiscKey& disc, const std::vector<std::pair<std::string, std::string>>& sums);
    // A disc written: as an image file, or onto the disc in drive.
    Result RecordWritten(const DiscKey& disc, const std::string& volume, const std::string& date,
                         const std::string& drive);
    // A verify's check of the disc on date, per project.
    Result RecordVerified(const DiscKey& disc, const std::string& date, const FolderCheck& check);

    // Forgets an undone sort's disc that was never written nor verified: no
    // such disc exists, and its set's name is free again. A disc written stays.
    Result ForgetUnwritten(const DiscKey& disc);

    // Every project whose name holds text, ignoring case, by name then disc;
    // a text of more than WhereLongest characters is refused.
    static constexpr std::size_t WhereLongest = 1000;
    Result Where(const std::string& text, std::vector<WhereRow>& rows);
    // Every disc, oldest check first, marked due as of today ("2026-12-11").
    Result Discs(const std::string& today, std::vector<DiscRow>& rows);
    // The set names the catalogue knows for root's backups, in set order.
    Result SetsOf(const std::string& root, std::vector<std::string>& sets);
    // Every project of root's discs with its files, each with its disc's set name.
    struct KnownProject {
        std::string set;
        CatalogueProject project;
    };
    Result ProjectsOf(const std::string& root, std::vector<KnownProject>& projects);

private:
    // What a call answers on a catalogue not open: nothing when its file is
    // not there, else that it is not open.
    Result Closed() const;

    sqlite3* db = nullptr;
    std::string path;
    bool absent = false; // opened to read or change, and its file is not there
};

} // namespace kelvark
