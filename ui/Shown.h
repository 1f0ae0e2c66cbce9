#pragma once

#include "TextCodec.h"

#include <QString>

#include <string>

namespace kelvark {

// A text of the core as the window shows it: its bytes as UTF-8, any byte
// that is not shown as ShownText gives it.
inline QString Shown(const std::string& bytes)
{
    return QString::fromStdString(ShownText(bytes));
}

} // namespace kelvark
