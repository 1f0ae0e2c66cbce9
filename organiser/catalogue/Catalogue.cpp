#include "Catalogue.h"

#include <sqlite3.h>

#include <cstdlib>

namespace kelvark {

std::string DefaultCataloguePath()
{
    const char* data = std::getenv("XDG_DATA_HOME");
    std::string folder;
    if (data != nullptr && data[0] == '/')
        folder = data;
    else if (const char* home = std::getenv("HOME"); home != nullptr)
        folder = std::string(home) + "/.local/share";
    return folder + "/kelvark/catalogue.sqlite";
}

Catalogue::~Catalogue()
{
    sqlite3_close(db);
}

} // namespace kelvark
