#include "orvoSections.h"

#include <charconv>
#include <cstdint>
#include <utility>

namespace kelvark {

namespace {

// The value of a field line is its third token.
const std::string& Value(const TagList& dlist)
{
    return dlist[2];
}

// A number field: white space around the token is ignored; then an optional
// sign and decimal digits that fit the field give the number, anything else 0.
template <typename Int>
Int NumberValue(const TagList& dlist)
{
    std::string_view token = Value(dlist);
    const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!token.empty() && isSpace(token.front()))
        token.remove_prefix(1);
    while (!token.empty() && isSpace(token.back()))
        token.remove_suffix(1);
    if (!token.empty() && token.front() == '+')
        token.remove_prefix(1);
    Int value = 0;
    const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), value);
    if (token.empty() || error != std::errc() || end != token.data() + token.size())
        return 0;
    return value;
}

// Reads a nested section into a new value and appends it to list once the
// section has ended; a section whose reader returns true is dropped.
template <typename Section, typename... Context>
bool ReadNested(std::vector<Section>& list, TagFile& fi, TagList& dlist, Context&... context)
{
    Section section;
    if (section.FileRead(fi, dlist, context...))
        return true;
    list.push_back(std::move(section));
    return false;
}

} // namespace

std::int32_t orvoFileNames::Add(std::string_view name)
{
    if (const auto found = positions.find(name); found != positions.end())
        return found->second;
    const auto position = static_cast<std::int32_t>(names.size());
    names.emplace_back(name);
    positions.emplace(names.back(), position);
    return position;
}

void orvoFileNames::Clear()
{
    std::vector<std::string>().swap(names);
    decltype(positions)().swap(positions);
    std::string().swap(reading);
}

// Each reader compares a line's key as a view: a key of another length is told
// apart without comparing characters.

bool orvoTrackList::FileRead(TagFile& fi, TagList& dlist)
{
    while (ReadTagLine(dlist, fi, ReaderSlots) >= 0) {
        const std::string_view key = dlist[0];
        if (key == "Track") {
            if (ReadNested(tracks, fi, dlist, files))
                return true;
        } else if (key == "VirtualTracks") {
            if (VTrack.FileRead(fi, dlist))
                return true;
        } else if (key == "}") {
            break;
        }
    }
    return false;
}

bool orvoTrack::FileRead(TagFile& fi, TagList& dlist, orvoFileNames& files)
{
    while (ReadTagLine(dlist, fi, ReaderSlots) >= 0) {
        const std::string_view key = dlist[0];
        if (key == "Track") {
            num = NumberValue<std::int16_t>(dlist);
        } else if (key == "Audio") {
            if (ReadNested(audios, fi, dlist, files))
                return true;
        } else if (key == "}") {
            break;
        }
    }
    return false;
}

bool orvoAudio::FileRead(TagFile& fi, TagList& dlist, orvoFileNames& files)
{
    std::string& file = files.reading; // the last File line's name; none names no file
    file.clear();
    while (ReadTagLine(dlist, fi, ReaderSlots) > 0) {
        const std::string_view key = dlist[0];
        if (key == "File")
            file = Value(dlist);
        else if (key == "Time")
            Time = NumberValue<std::int32_t>(dlist);
        else if (key == "Offset")
            Offset = NumberValue<std::int32_t>(dlist);
        else if (key == "Length")
            Length = NumberValue<std::int32_t>(dlist);
        else if (key == "}")
            break;
    }
    File = files.Add(file);
    return false;
}

bool orvoVtrackList::FileRead(TagFile& fi, TagList& dlist)
{
    while (ReadTagLine(dlist, fi, ReaderSlots) > 0) {
        const std::string_view key = dlist[0];
        if (key == "VTrack") {
            if (ReadNested(vtracks, fi, dlist))
                return true;
        } else if (key == "}") {
            break;
        }
    }
    return false;
}

bool orvoVtrack::FileRead(TagFile& fi, TagList& dlist)
{
    while (ReadTagLine(dlist, fi, ReaderSlots) > 0) {
        const std::string_view key = dlist[0];
        if (key == "Virtual")
            Virtual = NumberValue<std::int16_t>(dlist);
        else if (key == "Physical")
            Physical = NumberValue<std::int16_t>(dlist);
        else if (key == "Name")
            Name = Value(dlist);
        else if (key == "File")
            File = Value(dlist);
        else if (key == "}")
            break;
    }
    return false;
}

} // namespace kelvark
