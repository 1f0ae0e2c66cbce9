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
        const fs::path set = root.path() / "DVD-A";
        fs::create_directory(set);
        WriteProject(set, "Alder", {{"Alder 1.wav", 1000}, {"Alder 2.wav", 2000}});
        WriteProject(set, "Blue", {{"Blue 1.wav", 3000}});
        WriteProject(set, "Cedar", {{"Cedar 1.wav", 4000}});
        WriteFile(set / "notes.txt", "session notes");
        WriteFile(set / DiscLabelName, "Kelvark backup disc\r\nThis is disc 1 of 2 of the backup sort of 2026-12-10, "
                                       "DVD-A.\r\n");
        ASSERT_EQ(Program({KELVARK_CLI_PATH, "checksum", root.str()}).status, 0);
        const Output made =
            Program({"xorriso", "-as", "mkisofs", "-R", "-J", "-iso-level", "3", "--md5", "-o", image.string(),
                     "--sort-weight", "2", "/SHA256SUMS", "--sort-weight", "2", "/" + DiscLabelName, set.string()});
        ASSERT_EQ(made.status, 0) << made.err;
    }

    TempDir root;
    fs::path image = root.path() / "DVD-A.iso";
};

TEST_F(readback, EachDamageIsNamedUnderItsProjectsWithItsExitStatus)
{
    const std::string whole = ReadFile(image);
    const std::string lostAt = std::to_string(Sector(whole, "Cedar 1.wav"));
    const std::string place = "DVD-A: disc 1 of 2 of the backup sort of 2026-12-10\n";
    struct Row {
        std::string damage;
        std::function<void(std::string&)> apply;
        std::string out;
        int status;
    };
    const std::vector<Row> rows = {
        {"none", [](std::string&) {},
         place
             + "DVD-A: Alder: intact\nDVD-A: Blue: intact\nDVD-A: Cedar: intact\n"
               "DVD-A: not part of a project: intact\n"
               "DVD-A: 3 projects intact, 0 changed, 0 missing, 0 extra files\n",
         0},
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

} // namespace
