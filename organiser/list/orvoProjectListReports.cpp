#include "orvoProjectList.h"

#include "SetLetters.h"
#include "idata_common.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace kelvark {

namespace {

using SetMembers = std::vector<std::vector<const orvoProject*>>;

// The projects of each set 0 to numBackups - 1, in list order: one walk of
// the list serves every set. Projects in no set, and those a sort leaves in
// the folder, are in none.
SetMembers GroupBySet(const acList<orvoProject>& projects, int numBackups,
                      const std::unordered_set<const orvoProject*>& notSorted)
{
    SetMembers sets(static_cast<std::size_t>(std::max(numBackups, 0)));
    for (const auto& project : projects)
        if (project->BackupNum >= 0 && project->BackupNum < numBackups && !notSorted.count(project.get()))
            sets[static_cast<std::size_t>(project->BackupNum)].push_back(project.get());
    return sets;
}

std::string TwoDigits(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%02u", value);
    return text;
}

std::string FourDigits(int value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%04d", value);
    return text;
}

} // namespace

ReportTexts orvoProjectList::Reports(const std::string& prefix,
                                     const std::unordered_set<const orvoProject*>& notSorted) const
{
    const SetMembers sets = GroupBySet(projects, numBackups, notSorted);
    // A set whose every project a sort leaves in the folder is no disc: it is in no report.
    std::vector<bool> emptied(sets.size());
    for (const orvoProject* project : notSorted)
        if (project->BackupNum >= 0 && project->BackupNum < numBackups)
            emptied[static_cast<std::size_t>(project->BackupNum)] =
                sets[static_cast<std::size_t>(project->BackupNum)].empty();
    std::vector<std::string> lines{"ORVEX Project Backup Organizer"};
    for (std::size_t n = 0; n < sets.size(); ++n) {
        if (emptied[n])
            continue;
        lines.insert(lines.end(), {"", prefix + "-" + SetLetters(firstSet + static_cast<int>(n)), "----"});
        for (const orvoProject* project : sets[n])
            lines.push_back(project->Name);
    }
    // What a sort left in the folder is named, so the report says what is on no disc.
    if (!notSorted.empty()) {
        lines.insert(lines.end(), {"", "Not sorted", "----"});
        for (const auto& project : projects)
            if (notSorted.count(project.get()))
                lines.push_back(project->Name);
    }

    // One date for every BackupID of both files, even across midnight.
    const std::chrono::year_month_day started = regional.today();
    const std::string dateText = FourDigits(static_cast<int>(started.year())) + "_"
                                 + TwoDigits(static_cast<unsigned>(started.month())) + "_"
                                 + TwoDigits(static_cast<unsigned>(started.day()));
    std::vector<std::string> backups{"BackupID, TheDate, NumCDs"};
    for (std::size_t n = 0; n < sets.size(); ++n) {
        if (emptied[n])
            continue;
        const std::chrono::year_month_day now = regional.today();
        const std::string& sep = regional.dateSeparator;
        backups.push_back(dateText + SetLetters(firstSet + static_cast<int>(n), true) + ", "
                          + TwoDigits(static_cast<unsigned>(now.month())) + sep
                          + TwoDigits(static_cast<unsigned>(now.day())) + sep + FourDigits(static_cast<int>(now.year()))
                          + ", 1");
    }
    std::vector<std::string> rows{"Collection, BackupID, ChronoSN, TypeProject"};
    for (std::size_t n = 0; n < sets.size(); ++n)
        for (const orvoProject* project : sets[n])
            rows.push_back("TALVO, " + dateText + SetLetters(firstSet + static_cast<int>(n), true) + ", "
                           + project->Name.substr(0, 3) + ", " + (project->IsAProject ? "TRUE" : "FALSE"));
    return {{"Backup Report.txt", std::move(lines)},
            {"Backups.csv", std::move(backups)},
            {"BackupProjects.csv", std::move(rows)}};
}

} // namespace kelvark
