#pragma once

#include "Result.h"
#include "SectorCost.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace kelvark {

// A kind of disc (or a disk of a chosen size) that one backup set is planned
// to fill. A disc image rounds every file up to whole 2,048-byte sectors and
// adds its directory records, so a set is measured in what its files cost on
// the disc, never in plain bytes.
struct Medium {
    std::string key; // what --medium takes: "cd", "dvd-dl", …; the size in bytes for a custom one
    std::string prefix; // the set folders' prefix: "CD" for CD-A, CD-B, …
    std::string name; // "CD", "dual-layer DVD", …, as messages name one disc of it
    std::string size; // "649 megabytes", as the Backup Sort question gives it
    std::string shortSize; // "680.5 MB", "4.6 GB": the budget in decimal units
    std::int64_t sectors = 0; // the 2,048-byte sectors one disc holds
    std::int64_t budget = 0; // the cost one set may reach (FileCost)

    bool operator==(const Medium& other) const { return key == other.key; }
};

// The named media, in the order a user picks them: cd, cd80, dvd, dvd-dl,
// bd, bd-dl, bdxl.
const std::vector<Medium>& Media();
const Medium& CDMedium();
const Medium& DVDMedium();
// A disk of the given size in bytes; empty when it is too small to hold a set.
std::optional<Medium> CustomMedium(std::int64_t bytes);
// The custom disk of a typed size: bytes alone or with a unit, with or
// without a space before it: kB, MB, GB, TB (or k, M, G, T: powers of 1,000),
// KiB, MiB, GiB, TiB (powers of 1,024), in any case of letters; "4.7 GB"
// takes a fraction. Puts it in medium; "Enter a size such as 700 MB, 16 GB or
// 25 GiB." with medium left as it was for anything else (a medium's name
// too), and the limits after it for a size out of them.
Result CustomSize(const std::string& typed, Medium& medium);
// The medium a word names: a key of Media(), or a size as CustomSize takes
// one. Puts it in medium; why not, with medium left as it was, when the word names none.
Result MediumNamed(std::string_view word, Medium& medium);
// A size as a medium's shortSize gives one, rounded up: "5.1 GB", "650.1 MB". A
// size beyond a medium's budget never reads as the budget does.
std::string ShortSizeAbove(std::int64_t bytes);
// Every set folder prefix, of the named media and of a custom size.
const std::vector<std::string>& SetPrefixes();

// True when name is a set folder of prefix ("CD", "DVD", …): the prefix, "-" and capital letters.
bool IsSetFolder(const std::string& name, const std::string& prefix);
// True when name is a set folder of any medium.
bool IsAnySetFolder(const std::string& name);
// The names of the set folders of RootFolder of the given prefixes, in set
// order; links are not followed. The error of the listing, if any.
std::vector<std::string> SetFolders(const std::string& RootFolder, const std::vector<std::string>& prefixes,
                                    std::error_code& error);

} // namespace kelvark
