#include "Fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <dlfcn.h>
#include <new>
#include <pthread.h>

using namespace kelvark;

// This program's pthread_create: while threadsRefused, no thread starts, as
// on a system out of threads or memory; else the C library's.
namespace {
bool threadsRefused = false;
} // namespace

extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attributes, void* (*start)(void*),
                              void* argument)
{
    if (threadsRefused)
        return EAGAIN;
    static const auto next = reinterpret_cast<int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*)>(
        ::dlsym(RTLD_NEXT, "pthread_create"));
    return next(thread, attributes, start, argument);
}

// This program's operator new: while largeRefused, a block of 64 KiB or more
// (a project file's read buffer) is refused on every thread but the test's,
// as on a system out of memory.
namespace {
std::atomic<bool> largeRefused = false;
std::atomic<int> refusals = 0;
thread_local bool testThread = false;
} // namespace

void* operator new(std::size_t size)
{
    if (largeRefused && size >= 64 * 1024 && !testThread) {
        ++refusals;
        throw std::bad_alloc();
    }
    if (void* block = std::malloc(size == 0 ? 1 : size))
        return block;
    throw std::bad_alloc();
}

// What the operator new above gave; GCC takes the free for one of the library's blocks.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* block) noexcept
{
    std::free(block);
}

void operator delete(void* block, std::size_t) noexcept
{
    std::free(block);
}

// The arrays too (a project file's read buffer is one): a sanitizer's runtime
// gives them its own blocks unless this program says otherwise.
void* operator new[](std::size_t size)
{
    return ::operator new(size);
}

void operator delete[](void* block) noexcept
{
    std::free(block);
}

void operator delete[](void* block, std::size_t) noexcept
{
    std::free(block);
}

namespace {

using namespace fixtures;
using namespace std::string_literals;

// A wave header with an unknown chunk of four bytes before its bext chunk.
std::string WithChunk(const std::string& id)
{
    const std::string header = WaveHeader(1000);
    return header.substr(0, 36) + ChunkHeader(id, 4) + "abcd" + header.substr(36);
}

// A root folder of everything a read meets, among plain projects enough for
// the reads ahead to reach far past each of them.
void WriteMessyFolder(const fs::path& root)
{
    for (int p = 0; p < 40; ++p) {
        const std::string name = "Plain " + std::to_string(10 + p) + (p % 7 == 3 ? " Mix" : "");
        std::vector<FixtureWave> waves;
        for (int w = 0; w < p % 4; ++w)
            waves.push_back({name + " " + std::to_string(w) + ".wav", static_cast<std::uint32_t>(1000 + 10 * p + w)});
        WriteProject(root, name, waves);
    }
    // Notices from the waves of several projects, and a wave two projects play.
    WriteFile(root / "Alpha.cue", CueText({{{"alpha 1.wav", 0, 100}, {"shared.wav", 0, 50}}, {{"alpha 2.wav", 7, 9}}}));
    WriteFile(root / "alpha 1.wav", WithChunk("junk"));
    WriteFile(root / "alpha 2.wav", WithChunk("LIST"));
    WriteFile(root / "shared.wav", WithChunk("cue "));
    WriteFile(root / "Alpha.bak", "an earlier save");
    WriteFile(root / "Plain 30 b.cue", CueText({{{"shared.wav", 10, 20}, {"alpha 2.wav", 0, 5}}}));
    WriteFile(root / "Beta Mix.cue", CueText({{{"beta.wav", 0, 100}}}));
    WriteFile(root / "beta.wav", WithChunk("fact"));
    // Waves missing, hidden, in a subfolder, named with a separator, in another letter case.
    fs::create_directory(root / "sub");
    WriteFile(root / "sub" / "nested.wav", WaveHeader(100));
    WriteFile(root / ".hidden.wav", WaveHeader(100));
    WriteFile(root / "gamma case.wav", WaveHeader(300));
    WriteFile(root / "Gamma.cue", CueText({{{"gone.wav", 0, 10}, {".hidden.wav", 0, 10}, {"sub/nested.wav", 0, 10}},
                                           {{"GAMMA CASE.WAV", 0, 10}, {"sub", 0, 10}}}));
    // A read-only project; project files that can't be read as such.
    WriteProject(root, "Delta", {{"delta.wav", 5000}});
    MakeReadOnly(root / "Delta.cue");
    WriteFile(root / "Epsilon.cue", "\0\xff\xfeQlist {\nTrack {\nAudio {\nFile = \""s);
    WriteFile(root / "Zeta.cue", CueText({{{"alpha 1.wav", 0, 10}}}));
    WriteFile(root / "zeta.CUE", CueText({}));
    // Many waves of one project: empty, unwritten, with headers too short, and a
    // walk stopped after a hundred unknown chunks.
    std::vector<Region> regions;
    for (int w = 0; w < 70; ++w) {
        const std::string file = "eta " + std::to_string(w) + ".wav";
        regions.push_back({file, w, 100 + w});
        std::string bytes = WaveHeader(static_cast<std::uint32_t>(100 * w));
        if (w % 10 == 1)
            bytes = "";
        else if (w % 10 == 2)
            bytes = bytes.substr(0, 36) + std::string(64, '\0');
        else if (w % 10 == 3)
            bytes = WaveHeader(0) + std::string(50, 'x');
        else if (w == 44)
            for (int c = 0; c < 101; ++c)
                bytes = bytes.substr(0, 36) + ChunkHeader("junk", 0) + bytes.substr(36);
        if (w != 5)
            WriteFile(root / file, bytes);
    }
    WriteFile(root / "Eta.cue", CueText({regions}));
    WriteFile(root / "Theta.cue", CueText({}));
}

// Everything a read of root shows: what ReadFolder returns, the error listing,
// the messages, the progress calls, the grid and each project as measured.
struct Outcome {
    bool failed = false;
    std::string lastError;
    std::vector<std::string> shown;
    std::vector<std::string> progress;
    std::vector<GridRow> rows;
    std::vector<std::string> projects;
};

Outcome Read(const fs::path& root, int requests, bool mixes, int cancelAtCall)
{
    FakeUi ui;
    ui.progress.cancelAtCall = cancelAtCall;
    orvoProjectList list(ui.services());
    list.requestsInFlight = requests;
    Outcome outcome;
    outcome.failed = list.ReadFolder(root.string() + "/", mixes, true);
    list.CalcBackup(CDMedium());
    outcome.rows = list.FillGrid();
    outcome.lastError = list.LastError;
    outcome.shown = ui.messages.shown;
    outcome.progress = ui.progress.calls;
    for (const auto& project : list.projects) {
        std::string text = project->Name + "|" + project->ReadDir + "|" + std::to_string(project->ReadOnly) + "|"
                           + project->ReadFailure + "|" + project->LastError + "|" + std::to_string(project->fileSize)
                           + "|" + std::to_string(project->discSize) + "|" + std::to_string(project->discFiles) + "|"
                           + std::to_string(project->wavSize) + " " + std::to_string(project->samples) + " "
                           + std::to_string(project->samplesUsed);
        for (const auto& file : project->OwnFiles())
            text += "|own " + file;
        for (int i = 0; i < project->WaveCount(); ++i)
            text += "|" + std::string(project->WaveName(i)) + ">" + std::string(project->WaveDiskName(i));
        outcome.projects.push_back(text);
    }
    return outcome;
}

TEST(ReadAhead, ShowsWhatAReadOneFileAtATimeShowsWhateverTheRequestsInFlightAndTheCancel)
{
    TempDir dir;
    WriteMessyFolder(dir.path());
    const Outcome whole = Read(dir.path(), 1, true, -1);
    // The folder has all it should: errors, notices, a read-only project.
    EXPECT_TRUE(whole.failed);
    for (const char* error :
         {"File not found: gone.wav", "File not found: .hidden.wav", "Invalid wave file name: sub/nested.wav",
          "File size zero: eta 1.wav", "Header of \"eta 3.wav\"", "Can't open CUE file Zeta.cue"})
        EXPECT_NE(whole.lastError.find(error), std::string::npos) << error;
    EXPECT_GT(whole.shown.size(), 100u);
    EXPECT_NE(std::find_if(whole.rows.begin(), whole.rows.end(),
                           [](const GridRow& row) { return row[0] == "Delta" && row[1] == "-"; }),
              whole.rows.end());

    const int last = static_cast<int>(whole.rows.size()) - 1;
    for (const bool mixes : {true, false})
        for (const int cancelAtCall : {-1, 0, 1, 2, 9, 25, last})
            for (const int requests : {2, 3, 32, 256}) {
                const std::string what = "mixes " + std::to_string(mixes) + ", cancelled at call "
                                         + std::to_string(cancelAtCall) + ", " + std::to_string(requests)
                                         + " in flight";
                const Outcome one = Read(dir.path(), 1, mixes, cancelAtCall);
                const Outcome many = Read(dir.path(), requests, mixes, cancelAtCall);
                EXPECT_EQ(many.failed, one.failed) << what;
                EXPECT_EQ(many.lastError, one.lastError) << what;
                EXPECT_EQ(many.shown, one.shown) << what;
                EXPECT_EQ(many.progress, one.progress) << what;
                EXPECT_EQ(many.rows, one.rows) << what;
                EXPECT_EQ(many.projects, one.projects) << what;
                if (requests != 32)
                    continue;
                // Where no thread can start, the projects are read on the calling thread.
                threadsRefused = true;
                const Outcome alone = Read(dir.path(), requests, mixes, cancelAtCall);
                threadsRefused = false;
                EXPECT_EQ(alone.lastError, one.lastError) << what;
                EXPECT_EQ(alone.progress, one.progress) << what;
                EXPECT_EQ(alone.projects, one.projects) << what;
                // Where the threads run out of memory, the calling thread reads the projects again.
                testThread = true;
                largeRefused = true;
                const Outcome starved = Read(dir.path(), requests, mixes, cancelAtCall);
                largeRefused = false;
                EXPECT_TRUE(refusals.exchange(0) > 0 || cancelAtCall >= 0) << what;
                EXPECT_EQ(starved.failed, one.failed) << what;
                EXPECT_EQ(starved.lastError, one.lastError) << what;
                EXPECT_EQ(starved.shown, one.shown) << what;
                EXPECT_EQ(starved.progress, one.progress) << what;
                EXPECT_EQ(starved.projects, one.projects) << what;
            }
}

} // namespace
