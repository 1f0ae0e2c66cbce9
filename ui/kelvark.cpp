#include "Main.h"
#include "MessageBoxes.h"
#include "ProgramHeap.h"

#include "Commands.h"
#include "FileOps.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>

#include <filesystem>

namespace kelvark {

namespace {

// The bytes of the argument that Qt decoded into text: a folder name that is
// not UTF-8 cannot be rebuilt from its text.
std::string ArgumentBytes(int argc, char* argv[], const QString& text)
{
    for (int i = argc - 1; i > 0; --i)
        if (QString::fromLocal8Bit(argv[i]) == text)
            return argv[i];
    return QFile::encodeName(text).toStdString();
}

} // namespace

} // namespace kelvark

using namespace kelvark;

int main(int argc, char* argv[])
{
    AllowManyOpenFiles();
    SetHeapForReading();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kelvark"));
    QApplication::setApplicationVersion(QStringLiteral(KELVARK_VERSION));
    // The installed menu entry's name, which Wayland matches the window to.
    QApplication::setDesktopFileName(QStringLiteral("org.kelvark.kelvark"));
    // The menu entry's icon drawn at each size, so that small ones stay sharp.
    QIcon icon;
    for (const QFileInfo& file : QDir(QStringLiteral(":/icons")).entryInfoList())
        icon.addFile(file.filePath());
    QApplication::setWindowIcon(icon);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Keeps ORVEX projects in order and sorts them into backup sets."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("folder"),
                                 QStringLiteral("The root folder to read for this run instead of the last one chosen."),
                                 QStringLiteral("[folder]"));
    parser.process(app);
    const QStringList arguments = parser.positionalArguments();
    if (arguments.size() > 1) {
        qCritical("kelvark takes one folder at most.");
        return 2;
    }
    const std::string readFolder =
        arguments.isEmpty()
            ? std::string()
            : WithSeparator(
                std::filesystem::absolute(ArgumentBytes(argc, argv, arguments[0])).lexically_normal().string());

    MessageBoxes boxes;
    Main window(boxes, boxes, boxes, boxes, readFolder);
    boxes.owner = &window;
    window.readDone = ReturnFreedHeap;
    window.show();
    return app.exec();
}
