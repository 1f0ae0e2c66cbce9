#include "UiTest.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>

using namespace kelvark;

namespace uitest {

std::string ScriptedInput::Ask(const std::string& prompt, const std::string& title, const std::string& defaultText)
{
    prompts.push_back(prompt + "|" + title + "|" + defaultText);
    if (answers.empty())
        return {};
    std::string answer = answers.front();
    answers.erase(answers.begin());
    return answer;
}

void UiTest::SetUp()
{
    QSettings(QStringLiteral("Kelvark"), QStringLiteral("Kelvark")).clear();
}

void AnswerFolderDialog(const std::string& folder, FolderDialogSeen* seen)
{
    WhenShown<QFileDialog>([folder, seen](QFileDialog& dialog) {
        if (seen)
            *seen = {true, QFile::encodeName(dialog.directory().absolutePath()).toStdString(), dialog.windowTitle()};
        if (folder.empty()) {
            dialog.reject();
            return;
        }
        dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QFile::decodeName(folder.c_str()));
        QMetaObject::invokeMethod(&dialog, "accept");
    });
}

void WhenModal(const std::function<bool(QWidget*)>& answer)
{
    auto* timer = new QTimer(qApp);
    // Freed with the timer's slot: when the dialog was answered, or with the application.
    const auto waited = std::make_shared<QElapsedTimer>();
    waited->start();
    QObject::connect(timer, &QTimer::timeout, qApp, [timer, waited, answer] {
        QWidget* modal = QApplication::activeModalWidget();
        // A dialog that is closing is no more the one to answer.
        const bool answered = modal != nullptr && modal->isVisible() && answer(modal);
        if (answered || waited->elapsed() > 10000) {
            if (!answered)
                ADD_FAILURE() << "no dialog of the kind expected opened";
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(1);
}

QList<QWidget*> TabChain(const QList<QWidget*>& among)
{
    QList<QWidget*> chain;
    QWidget* at = among.first();
    do {
        if (among.contains(at))
            chain.append(at);
        at = at->nextInFocusChain();
    } while (at != among.first());
    return chain;
}

QString StoredSetting(const QString& key)
{
    return QSettings(QStringLiteral("Kelvark"), QStringLiteral("Kelvark")).value("Prefs/" + key).toString();
}

void StoreSetting(const QString& key, const QString& value)
{
    QSettings(QStringLiteral("Kelvark"), QStringLiteral("Kelvark")).setValue("Prefs/" + key, value);
}

bool HasSetting(const QString& key)
{
    return QSettings(QStringLiteral("Kelvark"), QStringLiteral("Kelvark")).contains("Prefs/" + key);
}

} // namespace uitest

int main(int argc, char* argv[])
{
    // The tests run without a display, also when CTest lists them.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The font the program draws its windows with.
    // The settings of this process live in a folder of its own, never in the
    // user's; CTest runs several test processes at once.
    QStandardPaths::setTestModeEnabled(true);
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
