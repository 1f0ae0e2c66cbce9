#include "frmProgress.h"

#include "Shown.h"
#include "TextCodec.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

namespace kelvark {

frmProgress::frmProgress(QWidget* owner)
    : QDialog(owner, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("Progress"));

    lblDoing = new QLabel(this);
    lblDoing->setTextFormat(Qt::PlainText);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setTextVisible(false);
    Label1 = new QLabel(this);
    Label1->setTextFormat(Qt::PlainText);
    // A long name is cut, not the dialog widened.
    Label1->setMinimumWidth(1);
    Label1->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    connect(cmdCancel, &QPushButton::clicked, this, &frmProgress::reject);
    // Esc cancels; Enter, pressed for the window behind, must not.
    cmdCancel->setAutoDefault(false);
    cmdCancel->setFocus();

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(Label1, 1);
    bottom->addWidget(cmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblDoing);
    layout->addWidget(ProgressBar1);
    layout->addLayout(bottom);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    // Wide enough for a count and the time left, as the window's fonts draw them.
    lblDoing->setMinimumWidth(fontMetrics().horizontalAdvance(QLatin1Char('x')) * 52);
    // Before the first Startup nothing runs.
    RequestStop();
}

void frmProgress::Begin(const QString& verb_, const QString& items_)
{
    verb = verb_;
    items = items_;
    cancelled = false;
    ClearStop();
    lblDoing->setText(verb + QStringLiteral("…"));
    Label1->clear();
}

void frmProgress::Post(std::function<void()> show)
{
    if (QThread::currentThread() == thread())
        show();
    else
        QMetaObject::invokeMethod(this, std::move(show), Qt::QueuedConnection);
}

void frmProgress::Hide()
{
    Post([this] { hide(); });
}

void frmProgress::Startup(int amountToDo)
{
    stopped = -1;
    anyShown = false;
    amount = amountToDo;
    emit Started(amountToDo);
    // A Cancel pressed before this loop started stops it too.
    if (amountToDo == 0 || cancelled) {
        RequestStop();
        return;
    }
    ClearStop();
    started = std::chrono::steady_clock::now();
    Post([this, amountToDo] {
        ProgressBar1->setRange(0, amountToDo);
        ProgressBar1->setValue(0);
        show();
        // With the keyboard focus here, Esc cancels.
        activateWindow();
    });
}

void frmProgress::Show(int amountDone, const std::string& text)
{
    using namespace std::chrono;
    constexpr milliseconds Interval{50};
    const auto now = steady_clock::now();
    const bool last = amountDone + 1 >= amount;
    if (!anyShown || now - shown >= Interval || last) {
        anyShown = true;
        shown = now;
        const QString item = Shown(text);
        const int amountToDo = amount;
        const auto elapsed = duration_cast<milliseconds>(now - started);
        Post([this, amountDone, amountToDo, item, elapsed] { Display(amountDone, amountToDo, item, elapsed); });
    }
    if (StopRequested() && stopped < 0)
        stopped = amountDone;
    if (last)
        Hide();
}

void frmProgress::Display(int amountDone, int amountToDo, const QString& item, std::chrono::milliseconds elapsed)
{
    ProgressBar1->setValue(amountDone + 1);
    const QLocale locale;
    QString doing = verb;
    if (!items.isEmpty()) {
        doing += QStringLiteral(": ") + locale.toString(amountDone + 1) + QStringLiteral(" of ")
                 + locale.toString(amountToDo) + QLatin1Char(' ') + items;
        if (const QString left = TimeLeft(amountDone, amountToDo, elapsed); !left.isEmpty())
            doing += QStringLiteral(", ") + left;
    }
    lblDoing->setText(doing);
    if (!item.isEmpty())
        Label1->setText(Label1->fontMetrics().elidedText(item, Qt::ElideMiddle, Label1->width()));
    Label1->setToolTip(item);
}

QString frmProgress::TimeLeft(int amountDone, int amountToDo, std::chrono::milliseconds elapsed)
{
    // Two seconds and one item done tell the pace well enough.
    if (amountDone <= 0 || elapsed < std::chrono::seconds(2) || amountDone >= amountToDo)
        return {};
    const double seconds = static_cast<double>(elapsed.count()) / 1000.0 * (amountToDo - amountDone) / amountDone;
    if (seconds < 60)
        return QStringLiteral("less than a minute left");
    const auto minutes = static_cast<long long>(seconds / 60 + 0.5);
    if (minutes < 60)
        return QStringLiteral("about %1 min left").arg(minutes);
    return QStringLiteral("about %1 h %2 min left").arg(minutes / 60).arg(minutes % 60);
}

void frmProgress::reject()
{
    cancelled = true;
    RequestStop();
    QDialog::reject();
}

} // namespace kelvark
