#include "Executor.h"
#include "Fixtures.h"
#include "FuzzTarget.h"
#include "Journal.h"

#include <algorithm>
#include <string>

using namespace kelvark;

// The journal reader on arbitrary bytes, as a received folder may hold them.
// Whatever it reads, a plan it accepts names only files of the folder it was
// given (a file of the folder, or of one of its set folders) and, for a move,
// files directly in the recorded destination; a journal it can't read stays
// as it was; and what it accepts is checked and turned round without fault.

namespace {

// A path inside base: one name, or a folder and one name, neither "." nor "..".
bool Inside(const std::string& path, const std::string& base)
{
    if (!path.starts_with(base))
        return false;
    const std::string rest = path.substr(base.size());
    const auto slash = rest.find('/');
    if (std::count(rest.begin(), rest.end(), '/') > 1)
        return false;
    for (const std::string& part : {rest.substr(0, slash), slash == std::string::npos ? "" : rest.substr(slash + 1)})
        if (part == "." || part == "..")
            return false;
    return !rest.empty() && rest.back() != '/';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const fixtures::TempDir folder;
    const std::string root = folder.str();
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    fixtures::WriteFile(folder.path() / Journal::FileName, bytes);

    Journal journal;
    const Journal::State state = journal.LookAndTidy(root);
    FUZZ_CHECK(state == Journal::State::None || state == Journal::State::Stopped
               || state == Journal::State::Unreadable);
    if (state != Journal::State::None) {
        FUZZ_CHECK(fixtures::ReadFile(folder.path() / Journal::FileName) == bytes);
        FUZZ_CHECK(!journal.Describe().empty());
    }
    if (state == Journal::State::Stopped) {
        const FilePlan& plan = journal.plan();
        for (const auto& unit : plan.units)
            for (const auto& step : unit.steps) {
                FUZZ_CHECK(Inside(step.from, root));
                FUZZ_CHECK(Inside(step.to, plan.kind == Operation::Move ? plan.dest : root));
            }
        const FilePlan back = plan.Inverse().Inverse();
        FUZZ_CHECK(back.units.size() == plan.units.size());
        for (std::size_t k = 0; k < plan.units.size(); ++k)
            FUZZ_CHECK(back.units[k].steps.size() == plan.units[k].steps.size());
        (void)CheckPlan(plan);
        SplitProjects(plan);
    }
    std::error_code error;
    std::filesystem::remove(folder.path() / Journal::FileName, error);
    return 0;
}
