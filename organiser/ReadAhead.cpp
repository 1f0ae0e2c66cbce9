#include "ReadAhead.h"

#include <csignal>
#include <pthread.h>

ReadAhead::Copy::Copy(const orvoProject& original) : project(unused)
{
    project.Name = original.Name;
    project.ReadDir = original.ReadDir;
    project.folder = original.folder;
}

ReadAhead::ReadAhead(const std::vector<orvoProject*>& projects, int folder, int requests)
    : order(projects), folder(folder)
{
    for (int i = 0; i < requests; ++i)
        Add();
    // Signals are for the calling thread: one that reached a thread of the
    // pool could cut an open short, which would then count as not found.
    sigset_t all, saved;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &saved);
    for (int i = 0; i < requests; ++i)
        threads.emplace_back(&ReadAhead::Work, this);
    pthread_sigmask(SIG_SETMASK, &saved, nullptr);
}

ReadAhead::~ReadAhead()
{
    {
        const std::lock_guard lock(mutex);
        stopping = true;
        requests.clear();
    }
    requested.notify_all();
    for (auto& thread : threads)
        thread.join();
}

void ReadAhead::Add()
{
    if (added == order.size())
        return;
    const std::lock_guard lock(mutex);
    Copy& copy = copies.emplace_back(*order[added++]);
    requests.push_back({&copy, -1});
    requested.notify_one();
}

ReadAhead::Result ReadAhead::Take(orvoProject& project)
{
    std::unique_lock lock(mutex);
    finished.wait(lock, [&] { return copies.front().pending == 0; });
    lock.unlock();

    Copy& copy = copies.front();
    if (copy.error)
        std::rethrow_exception(copy.error);
    project.TakeRead(copy.project);
    Result result = Result::NotOpened;
    if (!copy.notOpened) {
        for (const NoticeList& notices : copy.notices)
            for (const std::string& text : notices.texts)
                project.messages.Notice(text);
        result = project.SumWaves() ? Result::WaveFailed : Result::Read;
    }
    lock.lock();
    copies.pop_front();
    lock.unlock();
    Add();
    return result;
}

void ReadAhead::Work()
{
    TagFile fi; // one for every project file this thread reads, so its buffer is made once
    std::unique_lock lock(mutex);
    for (;;) {
        requested.wait(lock, [&] { return stopping || !requests.empty(); });
        if (stopping)
            return;
        const Request request = requests.front();
        requests.pop_front();
        lock.unlock();
        Copy& copy = *request.copy;
        std::exception_ptr error;
        try {
            Do(request, fi);
        } catch (...) {
            error = std::current_exception();
        }
        lock.lock();
        if (error && !copy.error)
            copy.error = error;
        // A project file read: its waves are requests now.
        if (request.wave < 0 && !copy.notOpened && !copy.error && copy.project.waves.Count() > 0) {
            for (int i = 0; i < copy.project.waves.Count(); ++i)
                requests.push_back({&copy, i});
            copy.pending += copy.project.waves.Count();
            requested.notify_all();
        }
        if (--copy.pending == 0)
            finished.notify_one();
    }
}

void ReadAhead::Do(const Request& request, TagFile& fi)
{
    orvoProject& project = request.copy->project;
    if (request.wave >= 0) {
        orvoWave& wave = *project.waves.Item(request.wave);
        wave.FileGetSize(wave.Open(folder), request.copy->notices[static_cast<std::size_t>(request.wave)]);
        return;
    }
    request.copy->notOpened = project.FileOpenRead(fi, folder);
    if (request.copy->notOpened)
        return;
    project.FileRead(fi);
    project.ListWaves();
    request.copy->notices.resize(static_cast<std::size_t>(project.waves.Count()));
}
