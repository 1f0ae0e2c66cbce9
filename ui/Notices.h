#pragma once

#include "Messages.h"

#include <string>
#include <vector>

namespace kelvark {

// The box that shows one notice with the check box "Show no more notices
// during this read". True when the user checked it.
class NoticeBox {
public:
    virtual ~NoticeBox() = default;
    virtual bool ShowNotice(const std::string& text) = 0;
};

// The messages of the project list as the window passes them on. Messages go
// to the window's boxes as they are; notices go to the notice box until the
// user asks for no more, and are only counted for the rest of the read.
class ReadNotices final : public Messages {
public:
    ReadNotices(Messages& messages, NoticeBox& box) : messages(messages), box(box) {}

    void Show(const std::string& text) override { messages.Show(text); }
    void Notice(const std::string& text) override;

    // A read starts: notices are shown again and none is counted.
    void StartRead();
    // The line for the read's error listing, which names what the notices
    // were about and their first files: "12 more notices were not shown:
    // Unknown chunk "LIST" in files a.wav, b.wav, c.wav and 9 more."; empty
    // when every notice was shown.
    std::string Unshown() const;

private:
    // The notices not shown that say the same of different files.
    struct Kind {
        std::string what; // the text before " in file "
        std::vector<std::string> files; // the first files named
        int count = 0;
    };

    Messages& messages;
    NoticeBox& box;
    bool silenced = false;
    int unshown = 0;
    std::vector<Kind> kinds;
};

} // namespace kelvark
