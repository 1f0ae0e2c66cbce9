#pragma once

#include "FilePlan.h"

#include <cstddef>
#include <string>
#include <vector>

// The record of a sort, a move or a rename while it runs: the whole plan is
// written to a hidden file in the root folder before the first file operation,
// each unit that is done is added to it, and the file goes when the operation
// ends. After a crash, a kill or a stop the next run reads it back and either
// finishes the plan or undoes it; the state of every step is read from the
// file system, since each move is atomic.
//
// The file is lines of text. The first is "kelvark-journal 1". Every line ends
// with a tab and the 8-digit hex checksum of what comes before it, so a torn
// last line is seen and ignored. Fields are separated by a tab; in a field,
// "\" is written "\\", and line feed, carriage return and tab "\n", "\r", "\t".
//   kind sort|move|rename|unsort
//   root FOLDER
//   folder FOLDER               made before the first step
//   unit PROJECTS               starts a unit of that many projects
//   move FROM TO | copy FROM TO its steps
//   end                         the plan is whole: file operations may begin
//   done K                      unit K (from 0) is done
//   across K                    unit K copies its files, then removes the sources
// A journal without "end" was cut short before any file was touched.
class Journal final {
public:
    enum class Kind { Sort, Move, Rename, Unsort };
    static constexpr const char* FileName = ".kelvark-journal";

    Journal() = default;
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;
    // A journal begun and neither ended nor kept is removed.
    ~Journal();

    // Writes plan as the journal of root (ending with the separator) and
    // flushes it and the folder to the disk. Empty on success, else why not.
    std::string Begin(Kind kind, const std::string& root, const FilePlan& plan);
    // Unit k is done.
    void Done(std::size_t k);
    // Unit k moves across file systems: copies first, sources removed last.
    void Across(std::size_t k);
    // The operation ended (done, refused or undone): the journal goes.
    void End();
    // The operation stopped with work for recover: the journal stays.
    void Keep();

    // Reads the journal of root; false when there is none. A journal cut short
    // before its plan was whole is removed: nothing ran under it.
    bool Read(const std::string& root);
    // "The backup sort of FOLDER stopped after N of M projects."
    std::string Describe() const;
    // Completes the plan, or puts every file back where it was and removes the
    // emptied folders the operation made. Empty on success, and the journal is
    // gone; else the files that stop it, and nothing was changed.
    std::string Finish();
    std::string Undo();

    Kind kind = Kind::Sort;

private:
    struct Unit {
        std::size_t projects = 0;
        std::vector<FileStep> steps;
        bool done = false;
        bool across = false;
    };
    void Append(const std::string& line, bool flush);
    std::string Path() const;

    std::string root;
    std::vector<std::string> folders;
    std::vector<Unit> units;
    int fd = -1;
    bool writing = false; // begun by this run: removed at the end
};
