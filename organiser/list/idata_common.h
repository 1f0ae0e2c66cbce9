#pragma once

#include "Messages.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

namespace kelvark {

// A file written whole or not at all: the text goes to a hidden temporary file
// in the same folder, which replaces the named file only when every write and
// the close succeeded. A file that is never committed leaves nothing behind.
class ReportFile final {
public:
    ReportFile() = default;
    ReportFile(const ReportFile&) = delete;
    ReportFile& operator=(const ReportFile&) = delete;
    ~ReportFile();

    // Starts the file FileName: a read-only file of that name is the user's
    // to keep and refused (EACCES). The error; empty on success.
    std::error_code Open(const std::string& FileName);
    // Writes bytes as they are.
    void Write(std::string_view bytes);
    // Writes text and the line end CR LF.
    void WriteLine(const std::string& text);
    // Finishes the file and puts it in place, replacing a file of that name
    // only when replace (else such a file is an error, EEXIST). The first
    // error of any write, the close or the renaming; empty on success.
    std::error_code Commit(bool replace = true);

private:
    // Writes what is pending once it has grown to a block, or at last.
    void Flush(std::size_t atLeast);

    std::filesystem::path target;
    std::filesystem::path temp;
    int fd = -1;
    std::string pending;
    std::error_code error;
};

// Opens FileName for writing through fo. True when it could not be opened: a
// missing folder says nothing, any other failure shows "error ", the error
// number, " " and the system's description.
bool FileOpenWrite(const std::string& FileName, ReportFile& fo, Messages& messages);

// Finishes fo (ReportFile::Commit). True when a write, the close or the
// replacement failed; the failure is shown as FileOpenWrite shows its own.
bool FileCloseWrite(ReportFile& fo, Messages& messages);

// Reports by name, each as its lines.
using ReportTexts = std::vector<std::pair<std::string, std::vector<std::string>>>;

// The names of the three reports, in the order they are written.
inline const std::vector<std::string> ReportNames{"Backup Report.txt", "Backups.csv", "BackupProjects.csv"};
// True when name is one of the ReportNames.
inline bool IsReportName(const std::string& name)
{
    return std::find(ReportNames.begin(), ReportNames.end(), name) != ReportNames.end();
}
// The name an earlier sort's report takes when a new sort or Report Only
// writes its own: the date of that sort before the extension, "Backup Report
// 2026-12-10.txt", and from the second on, " (2)" after it, "Backups
// 2026-12-10 (2).csv".
std::string DatedReportName(const std::string& report, const std::string& date, int n);
// True when date is a day as the labels write it, "2026-12-10".
bool IsDay(std::string_view date);
// True when name is a DatedReportName of report.
bool IsDatedReportName(const std::string& report, const std::string& name);

// Writes lines as the report name ("Backup Report.txt", "Backups.csv" or
// "BackupProjects.csv") into folder, whole or not at all. True on failure,
// after the file layer's message and then the report's own were shown.
bool WriteReportFile(const std::string& folder, const std::string& name, const std::vector<std::string>& lines,
                     Messages& messages);

} // namespace kelvark
