#pragma once

#include <string>

namespace kelvark {

// The line end of every text the core gives the user: the window and the
// terminal each turn it into their own.
inline constexpr const char* LineEnd = "\r\n";

// A message for the user with an OK button and the application's title. The
// window shows a message box, the command line prints to stderr, tests record.
class Messages {
public:
    virtual ~Messages() = default;
    virtual void Show(const std::string& text) = 0;
    // A remark about a file that was read all the same (an unknown chunk). A
    // folder can hold thousands, so the window lets the user silence them for
    // the rest of a read; anywhere else a notice is a message.
    virtual void Notice(const std::string& text) { Show(text); }
    // A message that says something failed or was refused: the window shows
    // it with a warning icon; anywhere else it is a message.
    virtual void Warning(const std::string& text) { Show(text); }
};

} // namespace kelvark
