#include "MessageBoxes.h"

#include <QInputDialog>
#include <QMessageBox>

namespace {

const QString ApplicationTitle = QStringLiteral("Kelvark");

// Texts from the system end their lines with CR LF; a label wants LF alone.
QString Displayed(const std::string& text)
{
    return QString::fromStdString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
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
    return Exec(owner, QString::fromStdString(title), text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes)
           == QMessageBox::Yes;
}

std::string MessageBoxes::Ask(const std::string& prompt, const std::string& title, const std::string& defaultText)
{
    bool accepted = false;
    const QString answer = QInputDialog::getText(owner, QString::fromStdString(title), QString::fromStdString(prompt),
                                                 QLineEdit::Normal, QString::fromStdString(defaultText), &accepted);
    return accepted ? answer.toStdString() : std::string();
}
