#pragma once

#include "Notices.h"
#include "UserInterface.h"

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <utility>

namespace kelvark {

// Runs call on the thread of the window's events and waits for it: a command
// on its worker thread shows its boxes there. On that thread itself, at once.
template <typename Call> void OnWindowThread(Call&& call)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (QThread::currentThread() == app->thread())
        call();
    else
        QMetaObject::invokeMethod(app, std::forward<Call>(call), Qt::BlockingQueuedConnection);
}

// The window's messages, questions and notices as a command on the worker
// thread meets them: each box opens on the window's thread while the worker
// waits for it. Once the window is closing, nothing more is shown and every
// question is answered No, so that the command ends soon.
class WindowThread final : public Messages, public Question, public NoticeBox {
public:
    WindowThread(Messages& messages, Question& question, NoticeBox& box)
        : messages(messages), question(question), box(box)
    {
    }

    void Show(const std::string& text) override
    {
        if (!closing)
            OnWindowThread([&] { messages.Show(text); });
    }
    void Warning(const std::string& text) override
    {
        if (!closing)
            OnWindowThread([&] { messages.Warning(text); });
    }
    bool Confirm(const Asking& asking) override
    {
        bool yes = false;
        if (!closing)
            OnWindowThread([&] { yes = question.Confirm(asking); });
        return yes;
    }
    bool AskYesNo(const std::string& text, const std::string& title) override
    {
        bool yes = false;
        if (!closing)
            OnWindowThread([&] { yes = question.AskYesNo(text, title); });
        return yes;
    }
    bool ShowNotice(const std::string& text) override
    {
        bool noMore = true;
        if (!closing)
            OnWindowThread([&] { noMore = box.ShowNotice(text); });
        return noMore;
    }

    std::atomic<bool> closing{false};

private:
    Messages& messages;
    Question& question;
    NoticeBox& box;
};

} // namespace kelvark
