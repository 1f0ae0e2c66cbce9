// Reading a disc image back per project: `kelvark-cli verify IMAGE` on an
// image of a set folder, whole and after each kind of damage a disc suffers,
// says of each project what verify of the folder would, with its exit status.

#include "ChildProcess.h"
#include "DiscLabel.h"
#include "Fixtures.h"

#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <sys/wait.h>

using namespace kelvark;

namespace {

using namespace fixtures;

// Runs a program found in PATH.
Output Program(const std::vector<std::string>& args)
{
    return Run("/usr/bin/env", args);
}

std::uint32_t Le32At(const std::string& bytes, std::size_t at)
{
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

// The offsets of the directory records of a file of the image's root: its
// ISO 9660 record ("ALDER_2.WAV;1") and its Joliet record (UTF-16BE).
std::vector<std::size_t> Records(const std::string& image, const std::string& name)
{
    std::string iso, joliet;
    for (const char c : name) {
        iso += c == ' ' ? '_' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        joliet += std::string(1, '\0') + c;
    }
    std::vector<std::size_t> records;
    for (const std::string& recorded : {iso + ";1", joliet})
        for (std::size_t at = image.find(recorded); at != std::string::npos; at = image.find(recorded, at + 1))
            if (at >= 33 && static_cast<unsigned char>(image[at - 1]) == recorded.size())
                records.push_back(at - 33);
    return records;
}

// The sector where a file's data starts, as its directory record says.
std::uint32_t Sector(const std::string& image, const std::string& name)
{
    return Le32At(image, Records(image, name).at(0) + 2);
}

// The start of the sector holding the root directory of the volume
// descriptor of kind (1 the primary, 2 the supplementary Joliet one), found
// in the descriptor set from sector 16 on; and the sector of its path table.
struct Descriptor {
    std::size_t at = 0; // where it starts in the image
    std::uint32_t root = 0; // its root directory's sector
    std::uint32_t pathTable = 0;
};
Descriptor VolumeDescriptor(const std::string& image, unsigned char kind)
{
    for (std::size_t at = 16 * 2048; at + 2048 <= image.size(); at += 2048) {
        const auto type = static_cast<unsigned char>(image[at]);
        if (type == 255)
            break;
        const bool joliet = image.substr(at + 88, 2) == "%/";
        if (type == kind && (kind != 2 || joliet))
            return {at, Le32At(image, at + 156 + 2), Le32At(image, at + 140)};
    }
    ADD_FAILURE() << "no volume descriptor of kind " << int(kind);
    return {};
}

// Writes value into the both-endian 32-bit field at at: little-endian, then big-endian.
void PutBoth32(std::string& bytes, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<char>(value >> (8 * i));
        bytes[at + 7 - i] = static_cast<char>(value >> (8 * i));
    }
}

// A set folder DVD-A with its label and SHA256SUMS, written as an image with
// xorriso as a set is (Rock Ridge, Joliet, level 3, an MD5 per file), those
// two first:
//   Alder  Alder 1.wav, Alder 2.wav      Blue   Blue 1.wav
//   Cedar  Cedar 1.wav                   notes.txt, which no project claims
// Each wave's header declares another size, so no two files are alike.
class readback : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directory(set);
        WriteProject(set, "Alder", {{"Alder 1.wav", 1000}, {"Alder 2.wav", 2000}});
        WriteProject(set, "Blue", {{"Blue 1.wav", 3000}});
        WriteProject(set, "Cedar", {{"Cedar 1.wav", 4000}});
        WriteFile(set / "notes.txt", "session notes");
        WriteFile(set / DiscLabelName, "Kelvark backup disc\r\nThis is disc 1 of 2 of the backup sort of 2026-12-10, "
                                       "DVD-A.\r\n");
        ASSERT_EQ(Program({KELVARK_CLI_PATH, "checksum", root.str()}).status, 0);
        MakeImage();
    }

    void MakeImage()
    {
        const Output made =
            Program({"xorriso", "-as", "mkisofs", "-R", "-J", "-iso-level", "3", "--md5", "-o", image.string(),
                     "--sort-weight", "2", "/SHA256SUMS", "--sort-weight", "2", "/" + DiscLabelName, set.string()});
        ASSERT_EQ(made.status, 0) << made.err;
    }

    TempDir root;
    fs::path set = root.path() / "DVD-A";
    fs::path image = root.path() / "DVD-A.iso";
};

TEST_F(readback, EachDamageIsNamedUnderItsProjectsWithItsExitStatus)
{
    const std::string whole = ReadFile(image);
    const std::string lostAt = std::to_string(Sector(whole, "Cedar 1.wav"));
    const std::string place = "DVD-A: disc 1 of 2 of the backup sort of 2026-12-10\n";
    const std::string intact = "DVD-A: Alder: intact\nDVD-A: Blue: intact\nDVD-A: Cedar: intact\n"
                               "DVD-A: not part of a project: intact\n";
    const std::string summary = "DVD-A: 3 projects intact, 0 changed, 0 missing, 0 extra files, 1 fault of the disc\n";
    // The Joliet record of a file of the root, which Records gives after its ISO 9660 one.
    const auto joliet = [](const std::string& bytes, const std::string& name) { return Records(bytes, name).at(1); };
    struct Row {
        std::string damage;
        std::function<void(std::string&)> apply;
        std::string out;
        int status;
    };
    const std::vector<Row> rows = {
        {"none", [](std::string&) {},
         place + intact + "DVD-A: 3 projects intact, 0 changed, 0 missing, 0 extra files\n", 0},
        {"one byte flipped inside a take",
         [](std::string& bytes) { bytes[Sector(bytes, "Blue 1.wav") * 2048 + 100] ^= 1; },
         place
             + "DVD-A: Alder: intact\nDVD-A: Blue: changed \"Blue 1.wav\"\nDVD-A: Cedar: intact\n"
               "DVD-A: not part of a project: intact\n"
               "DVD-A: 2 projects intact, 1 changed, 0 missing, 0 extra files\n",
         1},
        {"the image cut short", [](std::string& bytes) { bytes.resize(Sector(bytes, "Cedar 1.wav") * 2048 + 100); },
         place + "DVD-A: Alder: intact\nDVD-A: Blue: intact\n"
             + "DVD-A: Cedar: unreadable \"Cedar 1.wav\" (the image ends at sector " + lostAt
             + ")\nDVD-A: not part of a project: unreadable \"notes.txt\" (the image ends at sector " + lostAt
             + ")\nDVD-A: 2 projects intact, 0 changed, 0 missing, 1 unreadable, 0 extra files, "
             + "1 file of no project not intact\n",
         1},
        {"one file's directory records pointing at another's data",
         [](std::string& bytes) {
             const std::string other = bytes.substr(Records(bytes, "Blue 1.wav").at(0) + 2, 8);
             for (const std::size_t record : Records(bytes, "Alder 2.wav"))
                 bytes.replace(record + 2, 8, other);
         },
         place
             + "DVD-A: Alder: changed \"Alder 2.wav\"\nDVD-A: Blue: intact\nDVD-A: Cedar: intact\n"
               "DVD-A: not part of a project: intact\n"
               "DVD-A: 2 projects intact, 1 changed, 0 missing, 0 extra files\n",
         1},
        // The Joliet tree (what Windows reads) must name the files where the primary tree does.
        {"a Joliet record pointing at another take's sectors",
         [&](std::string& bytes) { PutBoth32(bytes, joliet(bytes, "Alder 2.wav") + 2, Sector(bytes, "Blue 1.wav")); },
         place + intact
             + "DVD-A: Joliet tree damaged (what Windows reads): not in the sectors of the Rock Ridge tree "
               "\"Alder 2.wav\"\n"
             + summary,
         1},
        {"a Joliet record of a shorter file",
         [&](std::string& bytes) { PutBoth32(bytes, joliet(bytes, "Cedar 1.wav") + 10, 100); },
         place + intact
             + "DVD-A: Joliet tree damaged (what Windows reads): not in the sectors of the Rock Ridge tree "
               "\"Cedar 1.wav\"\n"
             + summary,
         1},
        {"the Joliet root pointing at a sector of zeros",
         [](std::string& bytes) { PutBoth32(bytes, VolumeDescriptor(bytes, 2).at + 156 + 2, 5); },
         place + intact + "DVD-A: Joliet tree damaged (what Windows reads): it can't be read\n" + summary, 1},
        {"the primary root pointing at a sector of zeros",
         [](std::string& bytes) { PutBoth32(bytes, VolumeDescriptor(bytes, 1).at + 156 + 2, 5); },
         place + intact + "DVD-A: read from its Joliet tree: the primary tree is damaged\n" + summary, 1},
    };
    for (const Row& row : rows) {
        std::string bytes = whole;
        row.apply(bytes);
        WriteFile(image, bytes);
        const Output verified = Program({KELVARK_CLI_PATH, "verify", image.string()});
        EXPECT_EQ(verified.out, row.out) << row.damage << ": " << verified.err;
        EXPECT_EQ(verified.status, row.status) << row.damage;
    }
}

// A sector that belongs to no file (a descriptor, a directory, a path table)
// that can't be read is a failing disc, though every file reads whole.
TEST_F(readback, UnreadableSectorsOutsideFilesAreNamed)
{
    const std::string whole = ReadFile(image);
    const Descriptor primary = VolumeDescriptor(whole, 1), joliet = VolumeDescriptor(whole, 2);
    struct Row {
        std::string lost;
        std::vector<std::uint32_t> sectors;
        std::string line; // the line that names them
        int status;
    };
    const std::vector<Row> rows = {
        {"the primary path table",
         {primary.pathTable},
         "directory sectors unreadable: the disc is failing (1 sector from sector " + std::to_string(primary.pathTable)
             + ")",
         1},
        {"the descriptor set's terminator and a Joliet path table",
         {static_cast<std::uint32_t>(joliet.at / 2048 + 1), joliet.pathTable},
         "directory sectors unreadable: the disc is failing (2 sectors from sector "
             + std::to_string(std::min<std::uint32_t>(joliet.at / 2048 + 1, joliet.pathTable)) + ")",
         1},
        {"a take's sector", {Sector(whole, "Blue 1.wav")}, "", 1},
        {"nothing", {}, "", 0},
    };
    for (const Row& row : rows) {
        std::string sectors;
        for (const std::uint32_t sector : row.sectors)
            sectors += (sectors.empty() ? "" : ",") + std::to_string(sector);
        const Output verified = Program({"LD_PRELOAD=" UNREADABLE_SECTORS_PATH, "ASAN_OPTIONS=verify_asan_link_order=0",
                                         "KELVARK_UNREADABLE=" + image.string() + ":" + sectors, KELVARK_CLI_PATH,
                                         "verify", image.string()});
        EXPECT_EQ(verified.out.find("DVD-A: " + row.line + "\n") != std::string::npos, !row.line.empty())
            << row.lost << ": " << verified.out << verified.err;
        EXPECT_EQ(verified.out.find("fault of the disc") != std::string::npos, !row.line.empty()) << row.lost;
        EXPECT_EQ(verified.status, row.status) << row.lost << ": " << verified.out;
    }
}

// A label that is not the one SHA256SUMS lists names no disc: its claims
// (here another set's name) neither name the verdict nor go to the catalogue.
TEST_F(readback, ALabelNotAsSha256sumsListsItNamesNoDisc)
{
    const std::string claim = "2026-12-10, DVD-A.", other = "2026-12-10, DVD-B.";
    const std::string label = ReadFile(set / DiscLabelName);
    std::string claimsB = label;
    claimsB.replace(claimsB.find(claim), claim.size(), other);
    struct Row {
        std::string label;
        std::function<void()> make; // the set folder's label and SHA256SUMS
        std::string finding; // of the label, on the disc and in the folder
        std::string summary;
    };
    const std::vector<Row> rows = {
        {"edited after its checksum", [&] { WriteFile(set / DiscLabelName, claimsB); },
         "not part of a project: changed \"Kelvark Disc.txt\"",
         "3 projects intact, 0 changed, 0 missing, 0 extra files, 1 file of no project not intact"},
        {"not in SHA256SUMS",
         [&] {
             fs::remove(set / DiscLabelName);
             ASSERT_EQ(Program({KELVARK_CLI_PATH, "checksum", "--replace", root.str()}).status, 0);
             WriteFile(set / DiscLabelName, claimsB);
         },
         "extra file \"Kelvark Disc.txt\"", "3 projects intact, 0 changed, 0 missing, 1 extra file"},
    };
    const std::string catalogue = (root.path() / "catalogue.sqlite").string();
    for (const Row& row : rows) {
        row.make();
        MakeImage();
        // Each is named by its own name, the image's file name or the folder's,
        // and refused by the catalogue.
        struct Read {
            std::string path, name, refused;
        };
        const std::string folder = set.string() + "/";
        for (const Read& read : {Read{image.string(), "DVD-A.iso", "DVD-A.iso"}, Read{folder, "DVD-A", folder}}) {
            const std::string& name = read.name;
            const Output verified = Program({KELVARK_CLI_PATH, "verify", "--catalogue", catalogue, read.path});
            std::string out = name + ": Alder: intact\n" + name + ": Blue: intact\n" + name + ": Cedar: intact\n";
            if (!row.finding.starts_with("not part"))
                out += name + ": not part of a project: intact\n";
            out += name + ": " + row.finding + "\n" + name + ": " + row.summary + "\n";
            EXPECT_EQ(verified.out, out) << row.label << ": " << verified.err;
            EXPECT_EQ(verified.status, 1) << row.label;
            const Output added = Program({KELVARK_CLI_PATH, "catalogue", "--catalogue", catalogue, "--add", read.path});
            EXPECT_EQ(added.err, read.refused + ": its Kelvark Disc.txt is not the one SHA256SUMS lists.\n")
                << row.label;
            EXPECT_EQ(added.status, 2) << row.label;
        }
        WriteFile(set / DiscLabelName, label);
    }
}

} // namespace
