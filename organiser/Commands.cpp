#include "Commands.h"

std::string MediumPrefix(bool forCD)
{
    return forCD ? "CD" : "DVD";
}

std::string MediumSize(bool forCD)
{
    return forCD ? "649 megabytes" : "4.6 gigabytes";
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

std::string WithSeparator(std::string folder)
{
    // An empty folder stays empty: it means that none was chosen.
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder;
}
