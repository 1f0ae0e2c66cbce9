// window_read: the window's Read folder on FOLDER, as the user starts it, timed
// from the click to the filled grid. Prints the seconds and the rows shown:
//
//   window_read FOLDER       (run under QT_QPA_PLATFORM=offscreen)
//
// Both include boxes are ticked, so that the window reads what `kelvark-cli
// list` reads. Messages, questions and notices are answered silently.
#include "Main.h"

#include "Commands.h"
#include "ProgramHeap.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QPushButton>

#include <cstdio>
#include <filesystem>

using namespace kelvark;

namespace {

struct Silent final : Messages, Question, InputBox, NoticeBox {
    void Show(const std::string&) override {}
    bool AskYesNo(const std::string&, const std::string&) override { return false; }
    std::string Ask(const std::string&, const std::string&, const std::string&) override { return {}; }
    bool ShowNotice(const std::string&) override { return true; }
};

} // namespace

int main(int argc, char* argv[])
{
    SetHeapForReading(); // as kelvark does
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: window_read FOLDER\n");
        return 2;
    }
    Silent silent;
    Main window(silent, silent, silent, silent, WithSeparator(std::filesystem::absolute(argv[1]).string()));
    window.readDone = ReturnFreedHeap; // as kelvark does
    window.chkMix->setChecked(true);
    window.chkRegular->setChecked(true);
    window.show();
    QApplication::processEvents();

    QElapsedTimer timer;
    timer.start();
    window.cmdReadFolder->click();
    QApplication::processEvents(); // the grid is drawn
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    std::printf("%.4f %d\n", seconds, window.grdOut->RowCount());
    return 0;
}
