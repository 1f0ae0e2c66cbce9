#pragma once

#include "UserInterface.h"

#include <QDialog>
#include <QString>

#include <atomic>
#include <chrono>
#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;

namespace kelvark {

// The small modeless dialog that shows a command's progress while the command
// runs on its worker thread: what it does, how far it came and about how long
// it still takes ("Sorting: 602 of 2,000 projects, about 1 min left"), and the
// item it works on. Startup, Show and Hide are called on the worker's thread;
// they hand what the dialog shows to the window's thread, for the first and
// the last item and in between at most every 50 ms. Cancel, Esc and the title
// bar's close button request the stop, which the worker reads. The dialog is
// hidden, never destroyed, between uses; a tool window of its owner, it stays
// above the owner.
class frmProgress final : public QDialog, public Progress {
    Q_OBJECT
public:
    explicit frmProgress(QWidget* owner);

    QLabel* lblDoing = nullptr; // "Sorting: 602 of 2,000 projects, about 1 min left"
    QProgressBar* ProgressBar1 = nullptr;
    QLabel* Label1 = nullptr; // the item worked on
    QPushButton* cmdCancel = nullptr;

    // The loops that follow are a new command's: verb says what it does
    // ("Sorting") and items what it counts ("projects"); with no items the
    // loop's own texts say how far it came, as the bytes of checksums do. A
    // stop requested from here on stops each of its loops.
    void Begin(const QString& verb, const QString& items);

    void Hide() override;
    void Startup(int amountToDo) override;
    void Show(int amountDone, const std::string& text) override;

    // The stop request: the Cancel button, the Esc key and the title bar's
    // close button all end here.
    void reject() override;

    // The item before which the last loop was cancelled (the stop was
    // requested when it was shown); -1 when it was not.
    int Stopped() const { return stopped; }

    // "about 3 min left" for amountDone of amountToDo items in elapsed; empty
    // while too little is done to tell.
    static QString TimeLeft(int amountDone, int amountToDo, std::chrono::milliseconds elapsed);

signals:
    // A loop of amountToDo items starts, on the loop's thread: emitted before
    // it shows its first item.
    void Started(int amountToDo);

private:
    // Runs show on the dialog's thread: at once when called there, else queued.
    void Post(std::function<void()> show);
    void Display(int amountDone, int amountToDo, const QString& item, std::chrono::milliseconds elapsed);

    QString verb;
    QString items;
    // Set and read on the loop's thread.
    int amount = 0;
    std::atomic<int> stopped{-1};
    // The user asked the command to stop (Cancel, Esc, the close button).
    std::atomic<bool> cancelled{false};
    std::chrono::steady_clock::time_point started;
    std::chrono::steady_clock::time_point shown;
    bool anyShown = false;
};

} // namespace kelvark
