#include "frmProgress.h"

#include "TextCodec.h"
#include "Twips.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace kelvark {

frmProgress::frmProgress(QWidget* owner)
    : QDialog(owner, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("Progress"));
    setFixedSize(Pixels(4680), Pixels(930));

    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel->setGeometry(TwipsRect(3375, 450, 1215, 390));
    connect(cmdCancel, &QPushButton::clicked, this, &frmProgress::reject);
    // Esc cancels; Enter, pressed for the window behind, must not.
    cmdCancel->setAutoDefault(false);
    cmdCancel->setFocus();

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setGeometry(TwipsRect(75, 75, 4515, 240));
    ProgressBar1->setTextVisible(false);

    Label1 = new QLabel(this);
    Label1->setGeometry(TwipsRect(75, 525, 3240, 240));
    Label1->setTextFormat(Qt::PlainText);
    // Before the first Startup nothing runs.
    RequestStop();
}

void frmProgress::Hide()
{
    hide();
}

void frmProgress::Startup(int amountToDo)
{
    stopped = -1;
    shown.invalidate();
    if (amountToDo == 0) {
        RequestStop();
        return;
    }
    ProgressBar1->setRange(0, amountToDo);
    ClearStop();
    show();
    // With the keyboard focus here, Esc cancels.
    activateWindow();
}

// Drawing the progress and letting events run costs more than reading a
// project: both happen for the first item and the last, and in between at
// most every 50 ms.
void frmProgress::Show(int amountDone, const std::string& text)
{
    constexpr qint64 Interval = 50;
    const int position = amountDone + 1;
    if (!shown.isValid() || shown.elapsed() >= Interval || position == ProgressBar1->maximum()) {
        ProgressBar1->setValue(position);
        if (!text.empty())
            Label1->setText(QString::fromStdString(ShownText(text)));
        QCoreApplication::processEvents();
        shown.start();
    }
    // Read after the events ran, so that a Cancel pressed just now counts.
    if (StopRequested() && stopped < 0)
        stopped = amountDone;
    if (ProgressBar1->maximum() == position)
        hide();
}

void frmProgress::reject()
{
    RequestStop();
    QDialog::reject();
}

} // namespace kelvark
