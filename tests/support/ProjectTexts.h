#pragma once

// Project files whose reading the section tests pin down, and which the fuzz
// targets start from.
namespace fixtures {

// Tracks and virtual tracks, after a line before the first section.
inline constexpr const char* SectionsText =
    "Header stuff\n"
    "Qlist {\n"
    "Track {\nTrack = 3\nAudio {\nFile = \"Take 1.wav\"\nTime = 7\nOffset = -5\nLength = 100\n}\n}\n"
    "Track {\nTrack = 4\n}\n"
    "VirtualTracks {\n"
    "VTrack {\nVirtual = 1\nPhysical = 3\nName = \"Lead Vox\"\nFile = lead.wav\n}\n"
    "VTrack {\nVirtual = 2\n}\n"
    "}\n"
    "}\n";

// A blank line inside an audio entry, and another inside its field lines.
inline constexpr const char* BlankLineText =
    "Qlist {\nTrack {\n\nAudio {\nOffset = 1\n\nFile = lost.wav\n}\n}\nTrack {\n}\n}\n";

// Several track lists; keywords out of place or in another letter case, a
// key with a colon and a field line of two tokens.
inline constexpr const char* KeywordsText = "Qlist\nAudio {\ntrack {\n}\n"
                                            "Qlist {\nTrack {\nAudio {\nTime: 5\nOffset = 9\nFile\n}\n}\n}\n"
                                            "Qlist {\nTrack\n}\n}\n";

} // namespace fixtures
