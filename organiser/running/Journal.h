#pragma once

#include "FilePlan.h"
#include "FolderLock.h"
#include "Result.h"

#include <cstddef>
#include <ctime>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace kelvark {

// The record of an operation that changes files in a root folder, kept in the
// file of the folder's lock (FolderLock), which every such operation holds
// for its whole run. Before the first file operation the whole
// plan is written and flushed, each unit that is done is added, and the file
// goes when the operation ends. A journal whose lock is free is therefore a
// stopped operation: recover reads it back and finishes or undoes it, the
// state of every step read from the file system.
//
// The file is lines of text. The first is "kelvark-journal 2". Every line ends
// with a tab and the 8-digit hex checksum of what comes before it, so a torn
// last line is seen and ignored. Fields are separated by a tab; in a field,
// "\" is written "\\", and line feed, carriage return and tab "\n", "\r", "\t".
//   kind sort|move|rename|unsort|report|checksum|restore|disc
//   since SECONDS                  when the run began (seconds since 1970)
//   dest FOLDER                    a move's destination, an absolute path
//   folder NAME                    a set folder of the root folder (a
//                                  restore: its hidden folder of copies)
//   unit NAME...                   starts a unit: its projects' names
//   move FROM TO | copy FROM TO | uncopy FROM TWIN    its steps (a sort's
//                                  or Report Only's first unit may rename the
//                                  reports of an earlier sort with its date)
//   remove NAME SIZE MTIME INODE   a file of Kelvark's own the plan removes
//                                  first (OwnFile): a set folder's checksums
//                                  (a sort), a report (an unsort); an unsort's
//                                  set folder's label and checksums go last
//   report NAME TEXT               a report a sort (or Report Only) writes at its end
//   end                            the plan is whole: file operations may begin
//   done K                         unit K (from 0) is done
//   across K SIZE MTIME...         unit K copies its files, then removes the
//                                  sources (each step's source size and time);
//                                  a restore writes it for every unit with its
//                                  plan: recover moves no file that changed
//   sha256 K HEX...                a restore writes it for every unit with its
//                                  plan: the disc's SHA-256 of each step's file
//   placed K INODE SIZE MTIME CTIME...  a restore's unit K moved its files
//                                  into the root folder, and left each so
//                                  (times in nanoseconds): an undo takes out
//                                  only a file that is so, or holds the bytes
//                                  of its sha256 record
// Names are relative to the folder the command was given: a file of the root
// folder, or a set folder and a file in it; a move's destinations are files
// of its destination folder. A journal without "end" was cut short before any
// file was touched.
//
// The journal lies in a folder that may have come from anywhere: it is read
// as input nobody checked. It is opened without following a link and without
// waiting on a pipe, used only when it is a regular file, and every name in it
// must have the shape above. A journal that can't be read to its end is
// unreadable, never taken for one cut short: only a journal read whole is
// ever removed or emptied without the user's word.
//
// Every record is written before the steps it covers run: a line that can't
// be written or flushed stops the operation before its next step, with
// JournalFailure. Recover adds nothing to the journal it finishes or undoes:
// it reads the state of every step from the file system.
class Journal final {
public:
    static constexpr const char* FileName = FolderLock::FileName;

    // What a folder's journal says.
    enum class State : unsigned char {
        None, // no journal: no operation runs or stopped
        Running, // another run holds the lock
        Stopped, // a whole plan with its lock free
        Unreadable, // damaged, of another version or of another shape
        NotAFile, // something else than a regular file has the name
    };

    Journal() = default;
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;
    // A journal this run took and neither ended nor kept is removed.
    ~Journal();

    // Takes folder's lock for an operation, creating the journal. A
    // failure says why the operation must not run (another run holds the
    // folder, an operation stopped there, the journal can't be read or is not
    // a file), and nothing was changed.
    Result Lock(const std::string& folder, Operation operation);
    // Writes plan (taken by Lock) and flushes it and the folder to the disk.
    Result Begin(const FilePlan& plan);
    // Unit k is done. The error of the line's write.
    std::error_code Done(std::size_t k);
    // Unit k moves across file systems; stamps holds each step's source. The
    // error of the line's write or flush.
    std::error_code Across(std::size_t k, const std::vector<FileStamp>& stamps);
    // Restore's unit k moved its files, each left as placed says. The error
    // of the line's write.
    std::error_code Placed(std::size_t k, const std::vector<PlacedFile>& placed);
    // The operation ended (done, refused or undone): the journal goes.
    void End();
    // The operation stopped with work for recover: the journal stays.
    void Keep();

    // Looks at folder's journal without keeping it: its state, and for a stopped
    // one its plan. Never waits on another run. Tidies as it looks: a journal
    // cut short before its plan was whole, under which nothing ran, is removed.
    State LookAndTidy(const std::string& folder);
    // Takes folder's stopped journal for recover: its lock, and its plan in
    // plan(). A failure says why not (as Lock).
    Result TakeStopped(const std::string& folder);
    // Removes the journal taken by TakeStopped, or an unreadable one, and
    // the temporaries its run left (RemoveLeftoverTemps): the files stay
    // where they are.
    Result Forget(const std::string& folder);

    // The state the last Lock, LookAndTidy or TakeStopped found.
    State Found() const { return state; }
    const FilePlan& plan() const { return read; }
    FilePlan& plan() { return read; }
    // "The backup sort of FOLDER stopped after N of M projects." and the like,
    // for the state LookAndTidy or a refused Lock found.
    std::string Describe() const;
    // What recover says once it finished (or with undo, undid) the operation
    // TakeStopped took: "Finished the backup sort of FOLDER, which had stopped
    // after N of M projects." or "Undid the move of FOLDER into DEST, which had
    // stopped after N of M projects: every file it moved is back where it was."
    // An undone restore that kept files it could not tell for its own (kept)
    // says so.
    std::string Recovered(bool undo, bool kept = false) const;

private:
    // The stopped operation, "backup sort of FOLDER", and how far it went:
    // "stopped after N of M projects", or once every unit is done, what it did
    // and what it did not do: "moved all N projects but stopped before writing
    // its reports".
    std::pair<std::string, std::string> Stopped() const;
    std::string Path() const;
    // Opens the journal (creating it when create), locks it and reads it: the
    // state found. The file stays open
    // and locked unless another run holds it or it is not a file.
    State Take(bool create);
    State Parse(const std::string& text);
    // One line of the plan (before "end") or of the progress (after); false
    // when it is not of a shape the journal's writer makes.
    bool ParseRecord(const std::vector<std::string>& fields, bool& whole);
    std::error_code Append(const std::string& line, bool flush);
    void Close();

    std::string root;
    FilePlan read;
    State state = State::None;
    std::string problem; // why an unreadable journal can't be read, or what has its name
    std::string openError; // why the journal could not be made
    Operation kind = Operation::Sort;
    std::time_t since = 0;
    FolderLock lock;
    bool writing = false; // taken by this run for an operation: removed at its end
};

// Why an operation stops when a line of its journal can't be written: "the
// journal could not be written: REASON".
std::string JournalFailure(const std::error_code& error);

} // namespace kelvark
