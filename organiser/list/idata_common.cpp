#include "idata_common.h"

#include "FileOps.h"

#include <unistd.h>
#include <utility>

namespace fs = std::filesystem;

namespace kelvark {

namespace {

// "error ", the error number, " " and the system's description. A missing
// folder says nothing: the caller's own message is enough for it.
void ShowFileError(const std::error_code& error, Messages& messages)
{
    if (error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory)
        return;
    messages.Show("error " + std::to_string(error.value()) + " " + ErrorText(error));
}

} // namespace

ReportFile::~ReportFile()
{
    if (fd >= 0) {
        ::close(fd);
        ::unlink(temp.c_str());
    }
}

std::error_code ReportFile::Open(const std::string& FileName)
{
    target = FileName;
    if (IsReadOnly(target))
        return std::make_error_code(std::errc::permission_denied);
    fd = CreateHiddenTemp(target, temp, 0666);
    return fd < 0 ? LastErrno() : std::error_code();
}

void ReportFile::Flush(std::size_t atLeast)
{
    if (pending.size() < atLeast || fd < 0 || error)
        return;
    error = WriteAll(fd, pending.data(), pending.size());
    pending.clear();
}

void ReportFile::Write(std::string_view bytes)
{
    constexpr std::size_t Block = 1 << 16;
    pending += bytes;
    Flush(Block);
}

void ReportFile::WriteLine(const std::string& text)
{
    Write(text);
    Write("\r\n");
}

std::error_code ReportFile::Commit(bool replace)
{
    if (fd < 0)
        return std::make_error_code(std::errc::bad_file_descriptor);
    Flush(0);
    const int written = std::exchange(fd, -1);
    if (error) {
        ::close(written);
        ::unlink(temp.c_str());
        return error;
    }
    // Reports are meant to replace the previous ones; other files say whether they may.
    return error = CommitTemp(written, temp, target, replace);
}

bool FileOpenWrite(const std::string& FileName, ReportFile& fo, Messages& messages)
{
    // A read-only report is the user's to keep; it is not replaced.
    const std::error_code error = fo.Open(FileName);
    if (error)
        ShowFileError(error, messages);
    return static_cast<bool>(error);
}

bool FileCloseWrite(ReportFile& fo, Messages& messages)
{
    const std::error_code error = fo.Commit();
    if (error)
        ShowFileError(error, messages);
    return static_cast<bool>(error);
}

bool WriteReportFile(const std::string& folder, const std::string& name, const std::vector<std::string>& lines,
                     Messages& messages)
{
    ReportFile fo;
    bool failed = FileOpenWrite(folder + name, fo, messages);
    if (!failed) {
        for (const auto& line : lines)
            fo.WriteLine(line);
        failed = FileCloseWrite(fo, messages);
    }
    if (failed)
        messages.Show(name == "Backup Report.txt"    ? "Could not write the log report."
                      : name == "Backups.csv"        ? "Could not write the CSV file for import to TALVO DB."
                      : name == "BackupProjects.csv" ? "Could not write the projects CSV file for import to TALVO DB."
                                                     : "Could not write " + name + ".");
    return failed;
}

std::string DatedReportName(const std::string& report, const std::string& date, int n)
{
    const std::size_t dot = report.rfind('.');
    return report.substr(0, dot) + " " + date + (n > 1 ? " (" + std::to_string(n) + ")" : "") + report.substr(dot);
}

bool IsDay(std::string_view date)
{
    constexpr std::string_view Shape = "dddd-dd-dd";
    return date.size() == Shape.size() && std::equal(date.begin(), date.end(), Shape.begin(), [](char c, char shape) {
               return shape == 'd' ? c >= '0' && c <= '9' : c == shape;
           });
}

bool IsDatedReportName(const std::string& report, const std::string& name)
{
    // report comes from a journal too: anything but a report's name is no report.
    if (!IsReportName(report))
        return false;
    const std::size_t dot = report.rfind('.');
    const std::string stem = report.substr(0, dot) + " ", extension = report.substr(dot);
    if (name.size() < stem.size() + 10 + extension.size() || !name.starts_with(stem) || !name.ends_with(extension))
        return false;
    const std::string_view dated =
        std::string_view(name).substr(stem.size(), name.size() - stem.size() - extension.size());
    const std::string_view n = dated.substr(10);
    return IsDay(dated.substr(0, 10))
           && (n.empty()
               || (n.size() > 4 && n.starts_with(" (") && n.ends_with(")") && n[2] >= '1' && n[2] <= '9'
                   && std::all_of(n.begin() + 2, n.end() - 1, [](char c) { return c >= '0' && c <= '9'; })));
}

} // namespace kelvark
