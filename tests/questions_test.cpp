// Each command asks its questions once, in one order, whoever answers them:
// the window's user, or kelvark-cli's options. Every command runs twice on
// the same folder, once answered Yes as the window's user answers, once by
// the command line's answers with every option that says Yes (--yes,
// --skip-unsortable, --replace); both must see the same questions in the same
// order and end with the same Result and the same files.

#include "Commands.h"
#include "Fixtures.h"
#include "Terminal.h"

#include <gtest/gtest.h>

#include <functional>

using namespace fixtures;

namespace {

// Records which questions a command asks, and lets answers answer them.
struct Recorder final : Question {
    explicit Recorder(Question& answers) : answers(answers) {}
    bool Confirm(const Asking& asking) override
    {
        asked.push_back(asking.what);
        return answers.Confirm(asking);
    }
    bool AskYesNo(const std::string& text, const std::string& title) override { return answers.AskYesNo(text, title); }

    Question& answers;
    std::vector<Asked> asked;
};

// The window's user, who answers Yes.
struct SaysYes final : Question {
    bool AskYesNo(const std::string&, const std::string&) override { return true; }
};

struct Answered {
    std::vector<Asked> asked;
    Result result;
    std::map<std::string, std::string> files;
};

using FolderSetup = std::function<void(const fs::path& root, const fs::path& dest)>;
using Command =
    std::function<Result(orvoProjectList& list, const std::string& root, const std::string& dest, CommandUi ui)>;

// Builds the folder afresh in root, reads it for a CD, runs command answered
// by answers, and says what happened.
Answered RunOnce(const fs::path& root, const fs::path& dest, const FolderSetup& setup, const Command& command,
                 Question& answers)
{
    for (const fs::path& folder : {root, dest}) {
        fs::remove_all(folder);
        fs::create_directory(folder);
    }
    setup(root, dest);
    RecordingMessages messages;
    RecordingProgress progress;
    Recorder recorder(answers);
    orvoProjectList list({messages, progress});
    const std::string folder = root.string() + "/";
    (void)ReadFolderCommand(list, folder, true, true, CDMedium());
    Result result = command(list, folder, dest.string() + "/", {messages, progress, recorder});
    return {recorder.asked, std::move(result), Snapshot(root.parent_path())};
}

// A sort of root, answered Yes everywhere; with stopAt, stopped before that project.
void Sorted(const fs::path& root, int stopAt = -1)
{
    RecordingMessages messages;
    RecordingProgress reading, sorting;
    sorting.cancelAtCall = stopAt;
    SaysYes yes;
    orvoProjectList list({messages, reading});
    const std::string folder = root.string() + "/";
    (void)ReadFolderCommand(list, folder, true, true, CDMedium());
    (void)SortCommand(list, folder, {messages, sorting, yes});
}

void ThreeProjects(const fs::path& root)
{
    WriteProject(root, "Alder", {{"Alder 1.wav"}});
    WriteProject(root, "Birch", {{"Birch 1.wav"}});
    WriteProject(root, "Cedar", {{"Cedar 1.wav"}});
}

TEST(Questions, TheWindowAndTheCommandLineMeetTheSameQuestionsAndResults)
{
    const struct {
        const char* what;
        FolderSetup setup;
        Command command;
        std::vector<Asked> asked;
    } cases[] = {
        {"sort",
         [](const fs::path& root, const fs::path&) {
             ThreeProjects(root);
             // A name longer than a disc written for Windows keeps.
             WriteProject(root, "Dune", {{"Dune " + std::string(64, 'x') + ".wav"}});
             WriteProject(root, "Elm", {{"Elm 1.wav"}});
             fs::remove(root / "Elm 1.wav"); // can't be sorted
         },
         [](orvoProjectList& list, const std::string& root, const std::string&, CommandUi ui) {
             return SortCommand(list, root, ui);
         },
         {Asked::Sort, Asked::DiscNames, Asked::SortTheRest}},
        {"report",
         [](const fs::path& root, const fs::path&) {
             ThreeProjects(root);
             WriteProject(root, "Fir", {{"Fir 1.wav", 700'000'000}}); // larger than a CD
         },
         [](orvoProjectList& list, const std::string& root, const std::string&, CommandUi ui) {
             return ReportCommand(list, root, ui);
         },
         {Asked::ReportWithoutSome}},
        {"move",
         [](const fs::path& root, const fs::path&) {
             ThreeProjects(root);
             MakeReadOnly(root / "Birch.cue");
         },
         [](orvoProjectList& list, const std::string&, const std::string& dest, CommandUi ui) {
             return MoveCommand(list, {list.projects.Item(0).get(), list.projects.Item(1).get()}, dest, ui);
         },
         {Asked::MoveReadOnly}},
        {"rename",
         [](const fs::path& root, const fs::path&) { ThreeProjects(root); },
         [](orvoProjectList& list, const std::string&, const std::string&, CommandUi ui) {
             return RenameCommand(list, *list.projects.Item(2), "Cypress", ui);
         },
         {}},
        {"unsort",
         [](const fs::path& root, const fs::path&) {
             ThreeProjects(root);
             Sorted(root);
         },
         [](orvoProjectList&, const std::string& root, const std::string&, CommandUi ui) {
             return UnsortCommand(root, CDMedium(), ui);
         },
         {Asked::Unsort}},
        {"checksum again",
         [](const fs::path& root, const fs::path&) {
             ThreeProjects(root);
             Sorted(root);
             SaysYes yes;
             RecordingMessages messages;
             RecordingProgress progress;
             (void)ChecksumCommand(root.string() + "/", false, {messages, progress, yes});
         },
         [](orvoProjectList&, const std::string& root, const std::string&, CommandUi ui) {
             return ChecksumCommand(root, false, ui);
         },
         {Asked::ReplaceChecksums}},
        {"finish",
         [](const fs::path& root, const fs::path&) {
             ThreeProjects(root);
             Sorted(root, 1);
         },
         [](orvoProjectList&, const std::string& root, const std::string&, CommandUi ui) {
             return RecoverCommand(root, false, ui);
         },
         {}},
        {"forget",
         [](const fs::path& root, const fs::path&) {
             ThreeProjects(root);
             Sorted(root, 1);
         },
         [](orvoProjectList&, const std::string& root, const std::string&, CommandUi ui) {
             return ForgetCommand(root, "", ui);
         },
         {Asked::Forget}},
    };
    const TempDir base;
    for (const auto& c : cases) {
        SaysYes user;
        RecordingMessages terminal;
        OptionAnswers options({true, true, true}, terminal);
        const Answered window = RunOnce(base.path() / "f", base.path() / "d", c.setup, c.command, user);
        const Answered cli = RunOnce(base.path() / "f", base.path() / "d", c.setup, c.command, options);
        EXPECT_EQ(window.asked, c.asked) << c.what;
        EXPECT_EQ(cli.asked, c.asked) << c.what;
        EXPECT_EQ(window.result.Ended(), Result::Status::Done) << c.what << ": " << window.result.Message();
        EXPECT_EQ(cli.result.Ended(), window.result.Ended()) << c.what;
        EXPECT_EQ(cli.result.Lines(), window.result.Lines()) << c.what;
        EXPECT_EQ(cli.result.offers, window.result.offers) << c.what;
        EXPECT_EQ(cli.files, window.files) << c.what;
    }
}

} // namespace
