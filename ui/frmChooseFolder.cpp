#include "frmChooseFolder.h"

#include "TextCodec.h"
#include "Twips.h"

#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QResizeEvent>
#include <QStorageInfo>
#include <QStyle>
#include <QTreeWidget>

#include <algorithm>
#include <filesystem>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

const QString Root = QStringLiteral("/");

// A folder of the list: its name as shown, its path as bytes.
QTreeWidgetItem* NewFolderItem(std::string_view name, const std::string& folder, const QIcon& icon)
{
    auto* item = new QTreeWidgetItem(QStringList{QString::fromStdString(ShownText(name))});
    item->setData(0, Qt::UserRole, QByteArray::fromStdString(folder));
    item->setIcon(0, icon);
    return item;
}

// The subfolders of folder that are not hidden, symbolic links to folders
// included, ordered by their shown names with letter case ignored.
std::vector<std::string> Subfolders(const std::string& folder)
{
    struct Entry {
        QString shown;
        std::string name;
    };
    std::vector<Entry> entries;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::string name = it->path().filename().string();
        std::error_code typeError;
        if (name.front() != '.' && it->is_directory(typeError))
            entries.push_back({QString::fromStdString(ShownText(name)), std::move(name)});
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        const int order = a.shown.compare(b.shown, Qt::CaseInsensitive);
        return order != 0 ? order < 0 : a.name < b.name;
    });
    std::vector<std::string> names;
    for (auto& entry : entries)
        names.push_back(std::move(entry.name));
    return names;
}

// The dialog's outer size at design time, also its smallest.
constexpr int MinWidth = 3300;
constexpr int MinHeight = 4170;

} // namespace

frmChooseFolder::frmChooseFolder(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("Choose Folder"));
    resize(Pixels(3180), Pixels(3765));

    Drive1 = new QComboBox(this);
    Drive1->setGeometry(TwipsRect(150, 150, 2865, 315));

    Dir1 = new QTreeWidget(this);
    Dir1->setGeometry(TwipsRect(150, 525, 2865, 2565));
    Dir1->setHeaderHidden(true);
    Dir1->setRootIsDecorated(false);
    Dir1->setItemsExpandable(false);
    Dir1->setIndentation(Pixels(180));

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setGeometry(TwipsRect(2100, 3225, 915, 390));
    cmdOK->setDefault(true);

    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel->setGeometry(TwipsRect(1050, 3225, 990, 390));

    setTabOrder(Drive1, Dir1);
    setTabOrder(Dir1, cmdOK);
    setTabOrder(cmdOK, cmdCancel);

    connect(Drive1, &QComboBox::currentIndexChanged, this, &frmChooseFolder::Drive1_Change);
    connect(Dir1, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item) { OpenFolder(item->data(0, Qt::UserRole).toByteArray().toStdString()); });
    connect(cmdOK, &QPushButton::clicked, this, &frmChooseFolder::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmChooseFolder::reject);

    FillDrives();
    OpenFolder("/");
}

void frmChooseFolder::SetExternal(const std::string& DrivePath)
{
    FillDrives();
    // The drive whose root is the longest one that DrivePath starts with; "/"
    // (the first drive) holds every absolute path, and stands in for the rest.
    int drive = 0;
    std::size_t longest = 0;
    for (int i = 1; i < Drive1->count(); ++i) {
        const std::string driveRoot = DriveRoot(i);
        if ((DrivePath == driveRoot || DrivePath.starts_with(driveRoot + "/")) && driveRoot.size() > longest) {
            drive = i;
            longest = driveRoot.size();
        }
    }
    Drive1->setCurrentIndex(drive);
    if (!OpenFolder(DrivePath))
        OpenFolder(DriveRoot(drive));
}

std::string frmChooseFolder::DriveRoot(int index) const
{
    return Drive1->itemData(index).toByteArray().toStdString();
}

void frmChooseFolder::FillDrives()
{
    // Only volumes with a real device count as drives: the pseudo file systems
    // and the single files a container mounts are left out.
    QStringList roots;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        const QString rootPath = volume.rootPath();
        if (rootPath != Root && volume.isValid() && volume.isReady() && volume.device().startsWith("/dev/")
            && !volume.device().startsWith("/dev/loop") && QFileInfo(rootPath).isDir() && !roots.contains(rootPath))
            roots.append(rootPath);
    }
    std::sort(roots.begin(), roots.end());
    roots.prepend(Root);

    // The drive shown stays selected while the list is filled again.
    const QString shown = Drive1->currentText();
    const QSignalBlocker quiet(Drive1);
    Drive1->clear();
    for (const QString& rootPath : roots)
        Drive1->addItem(rootPath, QFile::encodeName(rootPath));
    Drive1->setCurrentIndex(std::max(0, static_cast<int>(roots.indexOf(shown))));
}

void frmChooseFolder::Drive1_Change()
{
    // A drive that cannot be read leaves the list on the folder it showed.
    OpenFolder(DriveRoot(Drive1->currentIndex()));
}

bool frmChooseFolder::OpenFolder(const std::string& folder)
{
    std::error_code error;
    if (!folder.starts_with('/') || !fs::is_directory(folder, error) || access(folder.c_str(), R_OK | X_OK) != 0)
        return false;
    std::string opened = fs::path(folder).lexically_normal().string();
    if (opened.size() > 1 && opened.back() == '/')
        opened.pop_back();

    Dir1->clear();
    const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);

    // The chain from "/" down to the opened folder, each one open.
    QTreeWidgetItem* item = NewFolderItem("/", "/", openIcon);
    Dir1->addTopLevelItem(item);
    std::string walked;
    for (const auto& name : fs::path(opened).relative_path()) {
        walked += "/" + name.string();
        QTreeWidgetItem* parent = item;
        item = NewFolderItem(name.string(), walked, openIcon);
        parent->addChild(item);
    }
    QFont bold = item->font(0);
    bold.setBold(true);
    item->setFont(0, bold);
    Dir1->setCurrentItem(item);

    // Its subfolders, closed.
    const std::string prefix = opened == "/" ? opened : opened + "/";
    for (const std::string& name : Subfolders(opened))
        item->addChild(NewFolderItem(name, prefix + name, closedIcon));
    Dir1->expandAll();
    Dir1->scrollToItem(item, QAbstractItemView::PositionAtTop);
    path = opened;
    return true;
}

void frmChooseFolder::cmdOK_Click()
{
    ChosenFolder = path;
    accept();
}

void frmChooseFolder::reject()
{
    ChosenFolder.clear();
    QDialog::reject();
}

void frmChooseFolder::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    FollowSize();
}

// The window manager frames the dialog after its first resize; it moves the
// dialog then, and the rule runs again with the frame counted.
void frmChooseFolder::moveEvent(QMoveEvent* event)
{
    QDialog::moveEvent(event);
    FollowSize();
}

void frmChooseFolder::FollowSize()
{
    // The rule works on the outer size, frame and title bar included.
    const QRect outer = frameGeometry();
    const int W = std::max(Twips(outer.width()), MinWidth);
    const int H = std::max(Twips(outer.height()), MinHeight);
    if (W != Twips(outer.width()) || H != Twips(outer.height()))
        resize(width() + Pixels(W) - outer.width(), height() + Pixels(H) - outer.height());

    Dir1->resize(Pixels(W - 435), Pixels(H - 1605));
    cmdOK->move(Pixels(W - 1200), Pixels(H - 945));
    cmdCancel->move(Pixels(W - 2250), Pixels(H - 945));
}
