#pragma once

#include "Commands.h"

#include <QFileDialog>
#include <QString>

#include <functional>
#include <string>

namespace kelvark {

// What a dialog of the window's uses of it: its commands run one at a time
// (Run), their work on the worker thread with the progress dialog (Await),
// its folder chooser, how its file dialogs open, the catalogue's file as the
// window's setting names it now, and whom the commands talk to.
struct DialogHost {
    std::function<void(const std::function<void()>& command)> run;
    std::function<void(const QString& verb, const std::function<void()>& work)> await;
    std::function<std::string(const QString& title, const std::string& start)> chooseFolder;
    QFileDialog::Options fileDialogOptions;
    std::function<std::string()> catalogue;
    CommandUi ui;
};

} // namespace kelvark
