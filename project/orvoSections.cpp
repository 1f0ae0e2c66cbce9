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
template <typename Int> Int NumberValue(const TagList& dlist)
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
// section has ended.
template <typename Section, typename... Context>
void ReadNested(std::vector<Section>& list, TagFile& fi, TagList& dlist, Context&... context)
{
    Section section;
    section.FileRead(fi, dlist, context...);
    list.push_back(std::move(section));
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

void orvoTrackList::FileRead(TagFile& fi, TagList& dlist)
{
    while (ReadTagLine(dlist, fi, ReaderSlots) >= 0) {
        const std::string_view key = dlist[0];
        if (key == "Track") {
            ReadNested(tracks, fi, dlist, files);
        } else if (key == "VirtualTracks") {
            VTrack.FileRead(fi, dlist);
        } else if (key == "}") {
            break;
        }
    }
}

void orvoTrack::FileRead(TagFile& fi, TagList& dlist, orvoFileNames& files)
{
    while (ReadTagLine(dlist, fi, ReaderSlots) >= 0) {
        const std::string_view key = dlist[0];
        if (key == "Track") {
            num = NumberValue<std::int16_t>(dlist);
        } else if (key == "Audio") {
            ReadNested(audios, fi, dlist, files);
        } else if (key == "}") {
            break;
        }
    }
}

void orvoAudio::FileRead(TagFile& fi, TagList& dlist, orvoFileNames& files)
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
}

void orvoVtrackList::FileRead(TagFile& fi, TagList& dlist)
{
    while (ReadTagLine(dlist, fi, ReaderSlots) > 0) {
        const std::string_view key = dlist[0];
        if (key == "VTrack") {
            ReadNested(vtracks, fi, dlist);
        } else if (key == "}") {
            break;
        }
    }
}

void orvoVtrack::FileRead(TagFile& fi, TagList& dlist)
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
}

} // namespace kelvark
