#pragma once

#include <algorithm>
#include <malloc.h>
#include <thread>

namespace kelvark {

// Sets the process's heap for reading folders: the calling thread and one
// thread per core have an arena each, so a folder in memory is read without
// the threads taking turns on one lock (on a machine where that costs a
// system call, a third of a warm scan); the threads started for a slow disk
// share them, where an arena each would keep hundreds of kilobytes of what
// they read. Fixed thresholds, not ones that grow with the largest block
// freed, give large blocks and a heap's free top back to the system: the
// listing's blocks, which grow as the folder is listed, and what the threads
// read. The heap is the whole process's: each Kelvark program makes this
// choice in its main, before its first thread; the core never does.
inline void SetHeapForReading()
{
    const unsigned cores = std::max(1U, std::thread::hardware_concurrency());
    mallopt(M_ARENA_MAX, static_cast<int>(cores) + 1);
    mallopt(M_TRIM_THRESHOLD, 128 * 1024);
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
}

// Gives the pages of the heap's free blocks back to the system. Called once a
// folder was read: the read-ahead threads' buffers and copies were freed in
// their arenas between what the projects keep, where the reading thread's
// later blocks are not made, and would otherwise stay the process's.
inline void ReturnFreedHeap()
{
    malloc_trim(0);
}

} // namespace kelvark
