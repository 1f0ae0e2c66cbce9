#include "idata_common.h"

#include "FileOps.h"

#include <cerrno>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// "error ", the error number, " " and the system's description. A missing
// folder says nothing: the caller's own message is enough for it.
void ShowFileError(const std::error_code& error, Messages& messages)
{
    if (error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory)
        return;
    messages.Show("error " + std::to_string(error.value()) + " " + Describe(error));
}

} // namespace

ReportFile::~ReportFile()
{
    if (stream) {
        std::fclose(stream);
        ::unlink(temp.c_str());
    }
}

std::error_code ReportFile::Open(const std::string& FileName)
{
    target = FileName;
    if (IsReadOnly(target))
        return std::make_error_code(std::errc::permission_denied);
    const int fd = CreateHiddenTemp(target, temp, 0666);
    if (fd < 0)
        return {errno, std::generic_category()};
    if (!(stream = ::fdopen(fd, "wb"))) {
        const std::error_code failure(errno, std::generic_category());
        ::close(fd);
        ::unlink(temp.c_str());
        return failure;
    }
    return {};
}

void ReportFile::Write(std::string_view bytes)
{
    if (!stream || error)
        return;
    if (std::fwrite(bytes.data(), 1, bytes.size(), stream) != bytes.size())
        error = {errno, std::generic_category()};
}

void ReportFile::WriteLine(const std::string& text)
{
    Write(text + "\r\n");
}

std::error_code ReportFile::Commit(bool replace)
{
    if (!stream)
        return std::make_error_code(std::errc::bad_file_descriptor);
    // Every byte must be on the disk before the new file takes the old one's place.
    if (!error && (std::fflush(stream) != 0 || ::fsync(::fileno(stream)) != 0))
        error = {errno, std::generic_category()};
    if (std::fclose(stream) != 0 && !error)
        error = {errno, std::generic_category()};
    stream = nullptr;
    // Reports are meant to replace the previous ones; other files say whether they may.
    if (!error && replace)
        fs::rename(temp, target, error);
    else if (!error)
        error = MoveNoReplace(temp, target);
    if (error)
        ::unlink(temp.c_str());
    return error;
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
        messages.Show(name == "Backup Report.txt" ? "Could not write the log report."
                      : name == "Backups.csv"     ? "Could not write the CSV file for import to TALVO DB."
                                                  : "Could not write the projects CSV file for import to TALVO DB.");
    return failed;
}
