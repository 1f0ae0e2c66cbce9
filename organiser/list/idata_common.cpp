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

} // namespace kelvark
