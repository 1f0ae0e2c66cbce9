#include "Fixtures.h"
#include "FuzzTarget.h"
#include "orvoProject.h"

#include <string>

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
    const bool failed = wave.FileGetSize();

    // Only a file without a RIFF chunk fails, with its own message.
    FUZZ_CHECK(failed == (wave.fileSize == 0));
    FUZZ_CHECK(wave.LastError() == (failed ? "File size zero: " + name : ""));
    // A RIFF size is an unsigned 32-bit count plus its 8-byte header.
    FUZZ_CHECK(wave.fileSize == 0 || (wave.fileSize >= 8 && wave.fileSize <= 0xFFFFFFFFLL + 8));
    // Bits per sample are a signed 16-bit field.
    FUZZ_CHECK(wave.Bytes >= -4096 && wave.Bytes <= 4096);
    FUZZ_CHECK(wave.Bytes > 0 || wave.samples == 0);

    // Every message names an unknown chunk of this file, and each costs a
    // whole 8-byte header of it.
    FUZZ_CHECK(messages.shown.size() <= size / 8);
    const std::string prefix = "Unknown chunk \"";
    const std::string suffix = "\" in file " + name;
    for (const auto& text : messages.shown)
        FUZZ_CHECK(text.size() == prefix.size() + 4 + suffix.size() && text.starts_with(prefix)
                   && text.ends_with(suffix));
    return 0;
}
