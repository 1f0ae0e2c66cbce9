#include "MessageBoxes.h"

#include "TextCodec.h"

#include <QInputDialog>
#include <QMessageBox>

namespace {

const QString ApplicationTitle = QStringLiteral("Kelvark");

QString Shown(const std::string& bytes)
{
    return QString::fromStdString(ShownText(bytes));
}

// Texts from the system end their lines with CR LF; a label wants LF alone.
QString Displayed(const std::string& text)
{
    return Shown(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

int Exec(QWidget* owner, const QString& title, const std::string& text, QMessageBox::StandardButtons buttons,
         QMessageBox::StandardButton defaultButton)
{
    QMessageBox box(QMessageBox::NoIcon, title, Displayed(text), buttons, owner);
    // File names are shown as they are, never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(defaultButton);
    return box.exec();
}

} // namespace

void MessageBoxes::Show(const std::string& text)
{
    Exec(owner, ApplicationTitle, text, QMessageBox::Ok, QMessageBox::Ok);
}

bool MessageBoxes::AskYesNo(const std::string& text, const std::string& title)
{
    return Exec(owner, Shown(title), text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes)
           == QMessageBox::Yes;
}

std::string MessageBoxes::Ask(const std::string& prompt, const std::string& title, const std::string& defaultText)
{
    bool accepted = false;
    const QString shownDefault = Shown(defaultText);
    const QString answer = QInputDialog::getText(owner, Shown(title), Shown(prompt), QLineEdit::Normal,
                                                 shownDefault, &accepted);
    if (!accepted)
        return {};
    // The default text left as it was stands for the very bytes it shows.
    return answer == shownDefault ? defaultText : answer.toStdString();
}
