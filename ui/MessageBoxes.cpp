#include "MessageBoxes.h"

#include "Shown.h"
#include "TextCodec.h"
#include "Twips.h"

#include <QCheckBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QStyle>

#include <algorithm>

namespace kelvark {

namespace {

const QString ApplicationTitle = QStringLiteral("Kelvark");

// Texts from the system end their lines with CR LF; a label wants LF alone.
QString Displayed(const std::string& text)
{
    return Shown(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

// The input box's width: the width its prompt and field need would cut its
// title short between the title bar's icon and buttons.
constexpr int InputBoxWidth = 4800;

// A box shows at most ShownRows rows of its text, a line taking a row for
// every RowChars characters (the box wraps it), and a line at most LineChars
// of them: a refusal can name thousands of files, and a box taller than the
// screen hides its buttons.
constexpr qsizetype ShownRows = 20;
constexpr qsizetype RowChars = 80;
constexpr qsizetype LineChars = 400;

qsizetype Rows(const QString& line)
{
    return std::max<qsizetype>(1, (line.size() + RowChars - 1) / RowChars);
}

// A line too long for the box keeps its start and its end, where a question
// ends: "Move the 9 files of DVD-A, DVD-B … back into /music/ and remove those folders with the
// labels and checksums the sort wrote?".
QString Cut(const QString& line, qsizetype room)
{
    if (line.size() <= room)
        return line;
    const qsizetype tail = room / 4;
    return line.left(room - tail) + QStringLiteral(" … ") + line.right(tail);
}

// Shows text in the box; a long one shows its first lines and how many more
// there are, and the whole text in the box's details area, which scrolls. A
// question keeps its last line, the question itself.
void SetText(QMessageBox& box, const QString& text, bool isQuestion)
{
    // File names are shown as they are, never read as markup.
    box.setTextFormat(Qt::PlainText);
    const QStringList lines = text.split(u'\n');
    QStringList shown;
    qsizetype rows = 0;
    bool cut = false;
    for (const QString& line : lines) {
        const QString kept = Cut(line, LineChars);
        if (!shown.isEmpty() && rows + Rows(kept) > ShownRows)
            break;
        shown.append(kept);
        cut = cut || kept != line;
        rows += Rows(kept);
    }
    const qsizetype more = lines.size() - shown.size();
    if (more == 0 && !cut) {
        box.setText(text);
        return;
    }
    if (more > 0)
        shown.append(QLocale().toString(more)
                     + (more == 1 ? QStringLiteral(" more line") : QStringLiteral(" more lines"))
                     + QStringLiteral(" (Show Details... shows the whole text)."));
    else
        shown.append(QStringLiteral("(Show Details... shows the whole text.)"));
    if (isQuestion && more > 0)
        shown.append({QString(), Cut(lines.back(), LineChars)});
    box.setText(shown.join(u'\n'));
    box.setDetailedText(text);
}

int Exec(QMessageBox& box, QMessageBox::StandardButton defaultButton)
{
    box.setDefaultButton(defaultButton);
    return box.exec();
}

} // namespace

void MessageBoxes::Show(const std::string& text)
{
    Show(text, QMessageBox::Information);
}

void MessageBoxes::Show(const std::string& text, QMessageBox::Icon icon)
{
    QMessageBox box(icon, ApplicationTitle, QString(), QMessageBox::Ok, owner);
    SetText(box, Displayed(text), false);
    Exec(box, QMessageBox::Ok);
}

bool MessageBoxes::AskYesNo(const std::string& text, const std::string& title)
{
    QMessageBox box(QMessageBox::Question, Shown(title), QString(), QMessageBox::Yes | QMessageBox::No, owner);
    SetText(box, Displayed(text), true);
    return Exec(box, QMessageBox::Yes) == QMessageBox::Yes;
}

bool MessageBoxes::ShowNotice(const std::string& text)
{
    QMessageBox box(QMessageBox::Warning, ApplicationTitle, QString(), QMessageBox::Ok, owner);
    SetText(box, Displayed(text), false);
    // The box owns the check box.
    auto* noMore = new QCheckBox(QStringLiteral("&Show no more notices during this read"));
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
    input.setOkButtonText(QStringLiteral("&OK"));
    input.setCancelButtonText(QStringLiteral("&Cancel"));
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

} // namespace kelvark
