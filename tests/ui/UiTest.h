#pragma once

#include "Fixtures.h"
#include "Main.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QList>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <ostream>

#include <string>
#include <vector>

using namespace kelvark;

// Helpers of the window tests: the window with recording dialogs, answers for
// the folder dialog and the stored settings.
namespace uitest {

struct RecordingQuestion final : Question {
    bool answer = true;
    std::vector<bool> answers; // given in order before answer, one per call
    std::vector<std::string> asked; // "text|title" of every call
    bool AskYesNo(const std::string& text, const std::string& title) override
    {
        asked.push_back(text + "|" + title);
        return asked.size() <= answers.size() ? answers[asked.size() - 1] : answer;
    }
};

struct ScriptedInput final : InputBox {
    std::vector<std::string> answers; // taken in order; empty once used up
    std::vector<std::string> prompts; // "prompt|title|default" of every call
    std::string Ask(const std::string& prompt, const std::string& title, const std::string& defaultText) override;
};

// Records each notice and answers as if "Show no more notices during this
// read" was checked when noMore is true.
struct RecordingNoticeBox final : NoticeBox {
    bool noMore = false;
    std::vector<std::string> shown;
    bool ShowNotice(const std::string& text) override
    {
        shown.push_back(text);
        return noMore;
    }
};

// Every test starts with no stored settings.
class UiTest : public ::testing::Test {
protected:
    void SetUp() override;
};

// The window, with dialogs that record what they were asked.
struct Window {
    fixtures::RecordingMessages messages;
    RecordingQuestion question;
    ScriptedInput input;
    RecordingNoticeBox notices;
    Main main;

    explicit Window(const std::string& readFolder = {}) : main(messages, question, input, notices, readFolder)
    {
        // The dialog of Qt's own widgets, which a test can answer on any platform.
        main.folderDialogOptions |= QFileDialog::DontUseNativeDialog;
    }
};

// A window on the test's own root folder, opened when the test has written
// what the folder holds.
class FolderWindowTest : public UiTest {
protected:
    fixtures::TempDir root;
    std::unique_ptr<Window> w;
    Main* m = nullptr;

    // Opens a new window on root, without reading it.
    void Open()
    {
        w = std::make_unique<Window>(root.str());
        m = &w->main;
    }
};

// What the folder dialog was opened on, once it was.
struct FolderDialogSeen {
    bool shown = false;
    std::string startedAt; // the folder opened when it was shown
    QString title;
};

// Answers the folder dialog that the next command shows: types folder into its
// field and presses OK, or presses Cancel when folder is empty.
void AnswerFolderDialog(const std::string& folder, FolderDialogSeen* seen = nullptr);

// The widgets of among in the order the focus chain visits them, starting
// from the first of among.
QList<QWidget*> TabChain(const QList<QWidget*>& among);

// Runs answer on the first Dialog that opens modally from now on. A
// command's dialog may open after its work on the worker thread, so this
// looks for it each time the events run, and gives up after ten seconds.
void WhenModal(const std::function<bool(QWidget*)>& answer);

template <typename Dialog> void WhenShown(const std::function<void(Dialog&)>& answer)
{
    WhenModal([answer](QWidget* widget) {
        auto* dialog = qobject_cast<Dialog*>(widget);
        if (dialog != nullptr)
            answer(*dialog);
        return dialog != nullptr;
    });
}

QString StoredSetting(const QString& key);
void StoreSetting(const QString& key, const QString& value);
bool HasSetting(const QString& key);

// A std::string of the core as Qt's string.
inline QString Qs(const std::string& text)
{
    return QString::fromStdString(text);
}

} // namespace uitest

// Lets failing comparisons print Qt's strings.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}
