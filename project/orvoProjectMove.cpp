#include "orvoProject.h"

#include "FileOps.h"

#include <unordered_set>

namespace kelvark {

std::vector<std::string> orvoProject::FilesToMove() const
{
    std::vector<std::string> files = fileList;
    // The names taken so far, looked up without walking the list: a project
    // file may name tens of thousands of waves.
    std::unordered_set<std::string> taken(files.begin(), files.end());
    for (int i = 0; i < WaveCount(); ++i)
        if (const std::string name(WaveDiskName(i)); !name.empty() && taken.insert(name).second)
            files.push_back(name);
    return files;
}

bool orvoProject::MoveTest(const std::string& destDir)
{
    LastError.clear();
    bool found = false;
    for (const auto& name : FilesToMove()) {
        // An entry of any kind (file, folder, link) blocks a move.
        if (EntryExists(destDir + name)) {
            AddError(name);
            found = true;
        }
    }
    return found;
}

} // namespace kelvark
