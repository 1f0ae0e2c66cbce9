#pragma once

#include "InputBox.h"
#include "Notices.h"
#include "UserInterface.h"

#include <QMessageBox>

class QWidget;

namespace kelvark {

// The window's message boxes, its notice box and its input box, shown modally
// over owner with the application's title unless the caller names another. A
// message has the Information icon, a question the Question icon, a notice the
// Warning icon. Texts are shown as UTF-8 (ShownText); the input box gives back
// the default's own bytes when its text is accepted as it was shown, else the
// answer in UTF-8.
class MessageBoxes final : public Messages, public Question, public InputBox, public NoticeBox {
public:
    QWidget* owner = nullptr;

    void Show(const std::string& text) override;
    void Warning(const std::string& text) override { Show(text, QMessageBox::Warning); }
    // A message with another icon than Information.
    void Show(const std::string& text, QMessageBox::Icon icon);
    bool AskYesNo(const std::string& text, const std::string& title) override;
    std::string Ask(const std::string& prompt, const std::string& title, const std::string& defaultText) override;
    bool ShowNotice(const std::string& text) override;
};

} // namespace kelvark
