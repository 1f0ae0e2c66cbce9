#include "Fixtures.h"
#include "FuzzTarget.h"
#include "orvoProject.h"

#include <algorithm>
#include <string>

using namespace kelvark;

// The wave reader on an arbitrary file: FileGetSize must end, with a result
// that agrees with what it measured, and show at most one message per chunk
// header the file holds.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const fixtures::TempDir dir;
    const std::string name = "Take.wav";
    fixtures::WriteFile(dir.path() / name, std::string(reinterpret_cast<const char*>(data), size));

    fixtures::RecordingMessages messages;
    orvoProject project(messages);
    project.ReadDir = dir.str();
    orvoWave wave;
    wave.project = &project;
    wave.FileName = name;
    const bool failed = wave.FileGetSize(wave.Open(AT_FDCWD), project.messages);

    // The size is the larger of what the RIFF header declares and the file's
    // length; only a file without a RIFF chunk, or whose header declares
    // less than the file or its chunks, fails, with its own message.
    const auto length = static_cast<std::int64_t>(size);
    FUZZ_CHECK(wave.fileSize >= length && wave.fileSize <= std::max<std::int64_t>(length, 0xFFFFFFFFLL + 8));
    FUZZ_CHECK(failed != wave.LastError().empty());
    FUZZ_CHECK(!failed || wave.LastError().starts_with("File size zero: " + name)
               || wave.LastError().starts_with("Header of \"" + name + "\" gives "));
    // Bits per sample are a signed 16-bit field; no count is negative.
    FUZZ_CHECK(wave.Bytes >= -4096 && wave.Bytes <= 4096);
    FUZZ_CHECK(wave.Bytes > 0 || wave.samples == 0);
    FUZZ_CHECK(wave.samples >= 0);

    // Every message names an unknown chunk of this file, each costing a whole
    // 8-byte header of it, at most 100 of them; one more may say where the
    // walk stopped, and one that the file has no bext chunk.
    const std::string prefix = "Unknown chunk \"";
    const std::string suffix = "\" in file " + name;
    std::size_t stops = 0;
    for (const auto& text : messages.shown) {
        if (text.starts_with("Chunk walk stopped at byte ") || text == name + " has no broadcast-wave (bext) chunk") {
            ++stops;
            continue;
        }
        FUZZ_CHECK(text.size() == prefix.size() + 4 + suffix.size() && text.starts_with(prefix)
                   && text.ends_with(suffix));
    }
    FUZZ_CHECK(stops <= 2);
    FUZZ_CHECK(messages.shown.size() - stops <= std::min<std::size_t>(size / 8, UnknownChunkLimit));
    return 0;
}
