#pragma once

#include "acList.h"
#include "idTagLine.h"

#include <cstdint>
#include <fstream>
#include <memory>
#include <string>

class orvoWave;

// The nested sections of a project file. Each FileRead reads lines of its own
// section from the shared open file until the section ends and returns false.

class orvoAudio final {
public:
    std::string File; // as the project file names it; emptied once ListWaves gives the name to the region's wave
    std::int32_t Time = 0;
    std::int32_t Offset = 0;
    std::int32_t Length = 0;
    std::shared_ptr<orvoWave> wave; // the wave this region plays, linked by GetWaveInfo

    bool FileRead(std::ifstream& fi, TagList& dlist);
};

class orvoTrack final {
public:
    int num = 0;
    acList<orvoAudio> audios;

    bool FileRead(std::ifstream& fi, TagList& dlist);
};

class orvoVtrack final {
public:
    int Virtual = 0;
    int Physical = 0;
    std::string Name;
    std::string File;

    bool FileRead(std::ifstream& fi, TagList& dlist);
};

class orvoVtrackList final {
public:
    acList<orvoVtrack> vtracks;

    bool FileRead(std::ifstream& fi, TagList& dlist);
};

class orvoTrackList final {
public:
    acList<orvoTrack> tracks;
    orvoVtrackList VTrack;

    bool FileRead(std::ifstream& fi, TagList& dlist);
};
