#pragma once

#include "HeadBatch.h"
#include "orvoProject.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kelvark {

// Reads the projects of a folder scan ahead of their turn on threads of its
// own, so that many opens and header reads are under way at once: on a
// network share each of them waits for a round trip. A project's file is one
// request (open, read-only test, read and parse), each of its waves another
// (open, chunk walk), and so is the length of each file that may be its own;
// a thread does one request at a time, so the threads are as many as the
// requests under way. A folder in memory needs no more threads than there
// are cores, and more would only take turns on them: while the heads of the
// project files and of the waves come from memory (HeadBatch), no more are
// started; the first request that would have had to wait starts the rest.
// Each project is read into a copy apart from the list, which the scan takes
// over at the project's turn, in list order, with the notices its waves met:
// the user sees what a read one file at a time shows, in the same order, and
// a project whose turn never comes is left as it was. The next project is
// started on whenever fewer requests wait than there are threads, within a
// window of at most as many projects ahead as there are threads.
class ReadAhead final {
public:
    // What reading a project gave. Unread: a request for it ran out of
    // memory, and the caller reads it itself, at its turn.
    enum class Outcome { Read, WaveFailed, NotOpened, Stopped, Unread };

    // Starts reading projects, in their order, with up to requests (at least
    // 2) files under way, opened relative to the open folder. Their waves are
    // measured, or only found (measure false).
    ReadAhead(const std::vector<orvoProject*>& projects, int folder, int requests, bool measure);
    // Lets the requests under way end and drops every copy not taken.
    ~ReadAhead();
    // Ends a read the user stopped without waiting for the requests under
    // way: a file that does not answer (a share gone away) holds up its
    // thread, not the caller. The threads end as their requests do, and the
    // last of them drops the copies.
    static void Abandon(std::unique_ptr<ReadAhead> reader);
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // Waits until the next project of the order, project, is read, hands it
    // what was read and passes the notices of its waves through its messages,
    // then adds up its measured waves. NotOpened when its project file could
    // not be opened (its LastError says why), WaveFailed when a wave failed,
    // Unread, with the project left as it was, when it was not read ahead.
    // While it waits, stopped (when given) is asked every AskEvery whether
    // the user stopped the read: Stopped, with the project left as it was,
    // once it says so. A file that takes long to answer (a slow share) then
    // holds no Ctrl-C, which reaches the calling thread only.
    Outcome Take(orvoProject& project, const std::function<bool()>& stopped = {});
    static constexpr std::chrono::milliseconds AskEvery{100};

private:
    // Messages that are kept to be passed on later.
    struct NoticeList final : Messages {
        std::vector<std::string> texts;
        void Show(const std::string& text) override { texts.push_back(text); }
    };
    // One project read ahead: the copy, its waves' notices, the requests not yet done.
    struct Copy {
        explicit Copy(const orvoProject& original);
        NoticeList unused; // the copy's own messages: its waves' notices go to notices
        orvoProject project;
        std::vector<NoticeList> notices;
        bool notOpened = false;
        int pending = 1; // the project file, then its waves and own files
        bool unread = false; // a request ran out of memory: the caller reads the project
    };
    // A request: a copy's project file, a few of its waves, or the length of
    // one of the files that may be its own.
    enum class Kind { ProjectFile, Wave, OwnFile };
    struct Request {
        Copy* copy;
        Kind kind;
        int index; // of the (first) wave in the copy's waves, of the file in its ownLengths
        int count = 1; // of the waves
        bool probe = false; // whether a project file's head is read from memory first
    };
    // Waves are measured a few to a request: on a warm disk a wave takes
    // microseconds, little more than handing a request to a thread, and a
    // project's waves are still shared among many threads on a slow one.
    static constexpr int WavesPerRequest = 8;
    static_assert(WavesPerRequest <= static_cast<int>(HeadBatch::Files));
    // A thread's latest waves whose heads it asked for, and the heads it did not give
    // of them. A folder in memory now and then misses a few, bunched (their
    // pages were busy at that moment); one that is not misses most. So the
    // misses are judged over a few requests' waves at a time, not one's.
    struct RecentWaves {
        int named = 0;
        int missed = 0;
    };
    static constexpr int WavesJudged = 4 * WavesPerRequest;

    // Starts on the next projects of the order while fewer requests wait than
    // there are threads and the window has room. Called with mutex held.
    void Fill();
    // One thread's loop: takes requests until stopped.
    void Work();
    // Does the request; true when its files were not in memory: a probe's
    // project file, or most of the thread's recent waves.
    bool Do(const Request& request, TagFile& fi, HeadBatch& heads, RecentWaves& recent);
    // Lets the requests under way end and the threads with them.
    void Stop();
    // Starts threads until there are count. Called with mutex held.
    void Start(std::size_t count);

    const std::vector<orvoProject*> order;
    const FileDescriptor folderHeld; // the folder's own descriptor, open as long as a thread may use it
    const int folder;
    const std::size_t threadCount;
    const bool measure;
    std::size_t added = 0; // the projects of order started on
    std::mutex mutex;
    std::condition_variable requested; // a request was added, or the threads must stop
    std::condition_variable finished; // a copy's last request is done
    std::deque<Copy> copies; // the window, in order; only Take takes from it
    std::deque<Request> requests;
    bool stopping = false;
    bool abandoned = false;
    std::size_t running = 0; // the threads started whose Work has not ended
    // Every thread of threadCount was started, or tried; set with mutex held,
    // read without it where a late answer costs one probe.
    std::atomic<bool> allStarted = false;
    std::vector<std::thread> threads;
};

} // namespace kelvark
