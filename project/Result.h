#pragma once

#include <string>
#include <utility>

namespace kelvark {

// What an operation answers: success, or the message that tells the user why
// it failed or must not run. System calls answer std::error_code; the
// operations of the project and the project list that the window calls keep
// their bool (true: failed) with the message in LastError.
class [[nodiscard]] Result final {
public:
    Result() = default; // success
    explicit Result(std::string message) : text(std::move(message)) {}

    bool Failed() const { return !text.empty(); }
    // Why it failed; empty on success.
    const std::string& Message() const { return text; }

private:
    std::string text;
};

} // namespace kelvark
