#pragma once

#include <string>

// A message for the user with an OK button and the application's title. The
// window shows a message box, the command line prints to stderr, tests record.
class Messages {
public:
    virtual ~Messages() = default;
    virtual void Show(const std::string& text) = 0;
};
