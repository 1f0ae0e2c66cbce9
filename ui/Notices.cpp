#include "Notices.h"

void ReadNotices::Notice(const std::string& text)
{
    if (silenced)
        ++unshown;
    else
        silenced = box.ShowNotice(text);
}

void ReadNotices::StartRead()
{
    silenced = false;
    unshown = 0;
}

std::string ReadNotices::Unshown() const
{
    if (unshown == 0)
        return {};
    return std::to_string(unshown) + (unshown == 1 ? " more notice was not shown." : " more notices were not shown.");
}
