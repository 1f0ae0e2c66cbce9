#pragma once

#include <string>

namespace kelvark {

// An input box with a prompt, a title and a default text. Empty on cancel.
class InputBox {
public:
    virtual ~InputBox() = default;
    virtual std::string Ask(const std::string& prompt, const std::string& title, const std::string& defaultText) = 0;
};

} // namespace kelvark
