#pragma once

#include "Messages.h"

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace kelvark {

// What a command or any other operation of the core answers: how it ended,
// the messages to show, in order, and what a front end may offer next. A
// value, not a side effect: the window shows each message in a box, the
// command line prints it, a test compares it. The system calls of FileOps
// answer std::error_code as the standard library does; the classes of the
// project files and the project list keep their bool (true: failed) with
// the message in LastError.
class [[nodiscard]] Result final {
public:
    enum class Status : unsigned char {
        Done, // it ran to its end
        Declined, // the user answered No to its question: nothing was done
        Refused, // it must not run: nothing was done
        Stopped, // the user, a signal or a journal that can't be written stopped it between two units
        Failed, // a step failed, or what it checked was not right
    };
    // What a front end may offer once the folder holds the journal of an
    // operation that did not end: finish it, undo it, or forget it.
    enum Offer : unsigned char { Finish = 1, Undo = 2, Forget = 4 };

    Result() = default; // done, nothing to say
    explicit Result(std::string message, Status status = Status::Failed) : status(status)
    {
        if (!message.empty())
            lines.push_back(std::move(message));
    }
    static Result Done(std::string message) { return Result(std::move(message), Status::Done); }

    bool Failed() const { return status != Status::Done; }
    Status Ended() const { return status; }
    // The messages to show, in order; each may span lines.
    const std::vector<std::string>& Lines() const { return lines; }
    // The messages as one text, each on its own line.
    std::string Message() const
    {
        std::string text;
        for (const std::string& line : lines)
            text += (text.empty() ? "" : LineEnd) + line;
        return text;
    }
    // What a front end shows in one message box: nothing after a No, and the
    // messages but the last when that one describes the journal the result
    // offers to recover (the front end shows it with its offer).
    std::string Told() const
    {
        if (status == Status::Declined)
            return {};
        std::string text;
        for (std::size_t i = 0; i + (offers != 0 ? 1 : 0) < lines.size(); ++i)
            text += (text.empty() ? "" : LineEnd) + lines[i];
        return text;
    }
    // Adds a message after the others.
    void Add(std::string message)
    {
        if (!message.empty())
            lines.push_back(std::move(message));
    }
    // The offers of Offer, or'ed; none when the folder holds no such journal.
    unsigned char offers = 0;

private:
    Status status = Status::Done;
    std::vector<std::string> lines;
};

} // namespace kelvark
