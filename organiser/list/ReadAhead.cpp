#include "ReadAhead.h"

#include "FileOps.h"

#include <algorithm>
#include <array>
#include <csignal>
#include <fcntl.h>
#include <new>
#include <pthread.h>
#include <system_error>
#include <thread>

namespace kelvark {

ReadAhead::Copy::Copy(const orvoProject& original) : project(unused)
{
    project.Name = original.Name;
    project.ReadDir = original.ReadDir;
    project.folder = original.folder;
}

ReadAhead::ReadAhead(const std::vector<orvoProject*>& projects, int folder, int requests, bool measure)
    : order(projects), folderHeld(folder == AT_FDCWD ? -1 : ::fcntl(folder, F_DUPFD_CLOEXEC, 0)),
      folder(folderHeld.Get() >= 0 ? folderHeld.Get() : folder), threadCount(static_cast<std::size_t>(requests)),
      measure(measure)
{
    const std::size_t cores = std::max(1U, std::thread::hardware_concurrency());
    // Without waves to measure relative to an open folder there is no sign
    // of a folder in memory: every thread is started at once.
    allStarted = !measure || folder == AT_FDCWD || cores >= threadCount;
    threads.reserve(threadCount);
    try {
        // Held while starting: a thread started may start the rest at once.
        const std::lock_guard lock(mutex);
        Fill();
        Start(allStarted ? threadCount : cores);
    } catch (...) { // the threads started end before the error goes on
        Stop();
        throw;
    }
}

void ReadAhead::Start(std::size_t count)
{
    // Signals are for the calling thread: one that reached a thread of the
    // pool could cut an open short, which would then count as not found.
    sigset_t all, saved;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &saved);
    try {
        for (; threads.size() < count; ++running)
            threads.emplace_back(&ReadAhead::Work, this);
    } catch (...) {
        pthread_sigmask(SIG_SETMASK, &saved, nullptr);
        throw;
    }
    pthread_sigmask(SIG_SETMASK, &saved, nullptr);
}

ReadAhead::~ReadAhead()
{
    Stop();
}

void ReadAhead::Abandon(std::unique_ptr<ReadAhead> reader)
{
    ReadAhead* const ahead = reader.release();
    std::unique_lock lock(ahead->mutex);
    ahead->stopping = true;
    ahead->abandoned = true;
    ahead->requests.clear();
    for (auto& thread : ahead->threads)
        thread.detach();
    ahead->threads.clear();
    const bool ended = ahead->running == 0;
    ahead->requested.notify_all(); // with the lock held: the last thread to end deletes ahead
    lock.unlock();
    if (ended)
        delete ahead;
}

void ReadAhead::Stop()
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

void ReadAhead::Fill()
{
    if (stopping) // an abandoned read's projects may be gone
        return;
    while (added < order.size() && copies.size() < threadCount && requests.size() < threadCount) {
        Copy& copy = copies.emplace_back(*order[added++]);
        // The first window's project files come before any wave: they tell
        // whether the folder is in memory until the waves do.
        requests.push_back({&copy, Kind::ProjectFile, 0, 1, added <= threadCount});
        requested.notify_one();
    }
}

ReadAhead::Outcome ReadAhead::Take(orvoProject& project, const std::function<bool()>& stopped)
{
    std::unique_lock lock(mutex);
    const auto read = [&] { return copies.front().pending == 0; };
    if (!stopped) {
        finished.wait(lock, read);
    } else {
        while (!finished.wait_for(lock, AskEvery, read)) {
            lock.unlock(); // the question may let the window's events run
            const bool stop = stopped();
            lock.lock();
            if (stop)
                return Outcome::Stopped;
        }
    }
    Copy& copy = copies.front();
    lock.unlock();

    Outcome result = Outcome::Unread;
    if (!copy.unread) {
        project.TakeRead(copy.project);
        result = Outcome::NotOpened;
        if (!copy.notOpened) {
            for (const NoticeList& notices : copy.notices)
                for (const std::string& text : notices.texts)
                    project.messages.Notice(text);
            result = measure && project.SumWaves() ? Outcome::WaveFailed : Outcome::Read;
        }
    }
    lock.lock();
    copies.pop_front();
    Fill();
    return result;
}

void ReadAhead::Work()
{
    TagFile fi; // one for every project file this thread reads, so its buffer is made once
    HeadBatch heads;
    RecentWaves recent;
    std::unique_lock lock(mutex);
    for (;;) {
        requested.wait(lock, [&] { return stopping || !requests.empty(); });
        if (stopping) {
            const bool last = --running == 0 && abandoned;
            lock.unlock();
            if (last)
                delete this;
            return;
        }
        const Request request = requests.front();
        requests.pop_front();
        lock.unlock();
        Copy& copy = *request.copy;
        bool unread = false;
        bool waited = false;
        try {
            waited = Do(request, fi, heads, recent);
        } catch (const std::bad_alloc&) { // what is read ahead is dropped, and read again at its turn
            unread = true;
        }
        lock.lock();
        if (waited && !allStarted && !stopping) {
            allStarted.store(true, std::memory_order_relaxed);
            try {
                Start(threadCount);
            } catch (const std::system_error&) { // no more threads: those running carry on
            } catch (const std::bad_alloc&) { // the same
            }
        }
        copy.unread = copy.unread || unread;
        // A project file read: its waves and own files are requests now.
        if (request.kind == Kind::ProjectFile && !copy.notOpened && !copy.unread) {
            const int waves = measure ? static_cast<int>(copy.project.reading->waves.size()) : 0;
            const auto ownFiles = static_cast<int>(copy.project.ownLengths.size());
            for (int i = 0; i < waves; i += WavesPerRequest) {
                requests.push_back({&copy, Kind::Wave, i, std::min(WavesPerRequest, waves - i)});
                ++copy.pending;
            }
            for (int i = 0; i < ownFiles; ++i)
                requests.push_back({&copy, Kind::OwnFile, i});
            copy.pending += ownFiles;
            requested.notify_all();
        }
        if (--copy.pending == 0)
            finished.notify_one();
        Fill();
    }
}

bool ReadAhead::Do(const Request& request, TagFile& fi, HeadBatch& heads, RecentWaves& recent)
{
    Copy& copy = *request.copy;
    orvoProject& project = copy.project;
    const auto index = static_cast<std::size_t>(request.index);
    switch (request.kind) {
    case Kind::ProjectFile: {
        bool waited = false;
        if (request.probe && folder != AT_FDCWD && !allStarted.load(std::memory_order_relaxed))
            if (const auto file = project.Listing().ProjectFile(project.Name)) {
                const char* name = file->c_str();
                waited = !heads.Read(folder, std::span(&name, 1))[0];
            }
        copy.notOpened = project.FileOpenRead(fi, folder);
        if (copy.notOpened)
            return waited;
        project.FileRead(fi);
        project.ListWaves();
        copy.notices.resize(project.reading->waves.size());
        for (const std::size_t position : project.Listing().OwnFilePositions(project.Name))
            project.ownLengths.emplace_back(position, 0);
        return waited;
    }
    case Kind::Wave: {
        const std::span waves(project.reading->waves.data() + index, static_cast<std::size_t>(request.count));
        std::array<const char*, WavesPerRequest> names{};
        if (folder != AT_FDCWD) // heads are read relative to the open folder only
            for (std::size_t i = 0; i < waves.size(); ++i)
                if (waves[i].Find())
                    names[i] = waves[i].DiskName().data(); // followed by a zero byte
        const auto read = heads.Read(folder, std::span(names.data(), waves.size()));
        for (std::size_t i = 0; i < waves.size(); ++i) {
            Messages& notices = copy.notices[index + i];
            recent.named += names[i] ? 1 : 0;
            if (read[i]) {
                waves[i].FileGetSize(*read[i], folder, notices);
            } else {
                waves[i].FileGetSize(waves[i].Open(folder), notices);
                recent.missed += names[i] ? 1 : 0;
            }
        }
        if (recent.named < WavesJudged)
            return false;
        const bool waited = 2 * recent.missed >= recent.named;
        recent = {};
        return waited;
    }
    case Kind::OwnFile: {
        auto& [position, length] = project.ownLengths[index];
        const std::string_view name = project.Listing().Name(position); // followed by a zero byte
        // A file that cannot be looked up counts 0, as SetOwnFiles counts it.
        FileLength(folder, folder == AT_FDCWD ? (project.ReadDir + name.data()).c_str() : name.data(), length);
        return false;
    }
    }
    return false;
}

} // namespace kelvark
