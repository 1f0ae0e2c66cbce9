#include "MessageBoxes.h"

#include "TextCodec.h"
#include "Twips.h"

#include <QCheckBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QStyle>

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

// The input box's width: the width its prompt and field need would cut its
// title short between the title bar's icon and buttons.
constexpr int InputBoxWidth = 4800;

int Exec(QMessageBox& box, QMessageBox::StandardButton defaultButton)
{
    // File names are shown as they are, never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(defaultButton);
    return box.exec();
}

} // namespace

void MessageBoxes::Show(const std::string& text)
{
    QMessageBox box(QMessageBox::NoIcon, ApplicationTitle, Displayed(text), QMessageBox::Ok, owner);
    Exec(box, QMessageBox::Ok);
}

bool MessageBoxes::AskYesNo(const std::string& text, const std::string& title)
{
    QMessageBox box(QMessageBox::NoIcon, Shown(title), Displayed(text), QMessageBox::Yes | QMessageBox::No, owner);
    return Exec(box, QMessageBox::Yes) == QMessageBox::Yes;
}

bool MessageBoxes::ShowNotice(const std::string& text)
{
    QMessageBox box(QMessageBox::NoIcon, ApplicationTitle, Displayed(text), QMessageBox::Ok, owner);
    // The box owns the check box.
    auto* noMore = new QCheckBox(QStringLiteral("Show no more notices during this read"));
    box.setCheckBox(noMore);
    Exec(box, QMessageBox::Ok);
    return noMore->isChecked();
}

std::string MessageBoxes::Ask(const std::string& prompt, const std::string& title, const std::string& defaultText)
{
    QInputDialog input(owner);
    input.setWindowTitle(Shown(title));
    input.setLabelText(Shown(prompt));
    const QString shownDefault = Shown(defaultText);
    input.setTextValue(shownDefault);
    // The dialog takes its width from the field's, between the layout's margins.
    if (auto* field = input.findChild<QLineEdit*>()) {
        const int margins = input.style()->pixelMetric(QStyle::PM_LayoutLeftMargin)
                            + input.style()->pixelMetric(QStyle::PM_LayoutRightMargin);
        field->setMinimumWidth(Pixels(InputBoxWidth) - margins);
    }
    if (input.exec() != QDialog::Accepted)
        return {};
    // The default text left as it was stands for the very bytes it shows.
    const QString answer = input.textValue();
    return answer == shownDefault ? defaultText : answer.toStdString();
}
