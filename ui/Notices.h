#pragma once

#include "Messages.h"

#include <string>

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
    // The line for the read's error listing, "12 more notices were not
    // shown."; empty when every notice was shown.
    std::string Unshown() const;

private:
    Messages& messages;
    NoticeBox& box;
    bool silenced = false;
    int unshown = 0;
};
