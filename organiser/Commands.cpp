#include "Commands.h"

std::string MediumPrefix(bool forCD)
{
    return forCD ? "CD" : "DVD";
}

std::string MediumSize(bool forCD)
{
    return forCD ? "649 megabytes" : "4.6 gigabytes";
}

std::string NoSetReason(bool forCD)
{
    return forCD ? "Larger than one CD (649 MB)" : "Larger than one DVD (4.6 GB)";
}

std::vector<std::string> ProjectsInNoSet(const orvoProjectList& list)
{
    std::vector<std::string> names;
    for (const auto& project : list.projects)
        if (project->BackupNum < 0)
            names.push_back(project->Name);
    return names;
}

std::string NoSetNotice(const std::vector<std::string>& names, bool forCD)
{
    // A folder of large projects can leave thousands out: a message names ten.
    constexpr std::size_t Named = 10;
    std::string text = names.size() == 1 ? "This project fits on no " : "These projects fit on no ";
    text += MediumPrefix(forCD) + ": ";
    for (std::size_t i = 0; i < names.size() && i < Named; ++i)
        text += (i == 0 ? "" : ", ") + names[i];
    if (names.size() > Named)
        text += " and " + std::to_string(names.size() - Named) + " more";
    return text + ".";
}

std::string BackupSortQuestion(bool forCD)
{
    return "Move projects in to backup directories with a max size of " + MediumSize(forCD) + "?";
}

bool ReadFolderCommand(orvoProjectList& list, const std::string& RootFolder, bool chkMix, bool chkRegular,
                       bool forCD, Grid& g)
{
    const bool hadErrors = list.ReadFolder(RootFolder, chkMix, chkRegular);
    list.CalcBackup(forCD);
    list.FillGrid(g);
    return hadErrors;
}

bool BackupCommand(orvoProjectList& list, const std::string& RootFolder, bool forCD, bool sort,
                   Messages& messages)
{
    const std::string prefix = MediumPrefix(forCD);
    if (!sort && list.ReportTest(RootFolder, false)) {
        messages.Show(list.LastError);
        return true;
    }
    if (sort && list.Rearrange(RootFolder, prefix))
        return true;
    if (list.ReportTxt(RootFolder, prefix) || list.ReportCsv(RootFolder))
        return true;
    messages.Show("Done.  CSV files are in folder " + RootFolder + ".");
    return false;
}

bool MoveCommand(orvoProjectList& list, Grid& g, const std::string& MoveFolder, Messages& messages)
{
    if (list.MoveTest(g, MoveFolder)) {
        messages.Show(list.LastError);
        return true;
    }
    list.MoveList(g, MoveFolder);
    list.FillGrid(g);
    return false;
}

std::string ReadFolderFirst(const std::string& RootFolder)
{
    return "Read the folder first: the grid does not show the projects of " + RootFolder + ".";
}

std::string WithSeparator(std::string folder)
{
    // An empty folder stays empty: it means that none was chosen.
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder;
}
