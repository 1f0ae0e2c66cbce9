#pragma once

#include "StringHash.h"
#include "idTagLine.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kelvark {

// The nested sections of a project file. Each FileRead reads lines of its own
// section from the shared open file until the section or the file ends: no
// line stops a read, what a reader does not know is passed over.
// Tracks, regions and virtual tracks are plain values: a project file holds
// thousands, and nothing outside the track list refers to them.

// The distinct file names a project file's regions play, in the order of first
// use. A region keeps the position of its name; the project's wave list takes
// the names over in this order, so the position is also the region's wave.
class orvoFileNames final {
public:
    std::vector<std::string> names;
    // The name of the audio entry being read, kept here so that its room is
    // made once for all the entries of a file.
    std::string reading;

    // The position of name, added at the end when it is new.
    std::int32_t Add(std::string_view name);
    // Forgets every name, once the waves have taken them.
    void Clear();

private:
    // Names are looked up as views, without a string made for each lookup.
    std::unordered_map<std::string, std::int32_t, StringHash, std::equal_to<>> positions;
};

class orvoAudio final {
public:
    std::int32_t File =
        0; // the position of its file name in the project's names, and of its wave in the project's waves
    std::int32_t Time = 0;
    std::int32_t Offset = 0;
    std::int32_t Length = 0;

    void FileRead(TagFile& fi, TagList& dlist, orvoFileNames& files);
};

class orvoTrack final {
public:
    int num = 0;
    std::vector<orvoAudio> audios;

    void FileRead(TagFile& fi, TagList& dlist, orvoFileNames& files);
};

class orvoVtrack final {
public:
    int Virtual = 0;
    int Physical = 0;
    std::string Name;
    std::string File;

    void FileRead(TagFile& fi, TagList& dlist);
};

class orvoVtrackList final {
public:
    std::vector<orvoVtrack> vtracks;

    void FileRead(TagFile& fi, TagList& dlist);
};

class orvoTrackList final {
public:
    std::vector<orvoTrack> tracks;
    orvoVtrackList VTrack;
    orvoFileNames files; // the regions' file names until the project's waves take them

    void FileRead(TagFile& fi, TagList& dlist);
};

} // namespace kelvark
