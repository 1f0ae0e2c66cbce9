#pragma once
// TEMPORARY: stand-ins until the helpers' branches land.
#include "Commands.h"
#include "DiscCheck.h"
#include "UserInterface.h"
#include <QWidget>
#include <QTreeWidget>
namespace kelvark {
inline Result CustomSize(const std::string& typed, Medium& medium)
{
    Result r = MediumNamed(typed, medium);
    return r.Failed() ? Result("Enter a size such as 700 MB, 16 GB or 25 GiB.") : r;
}
}
