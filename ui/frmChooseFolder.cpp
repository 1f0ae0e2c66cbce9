#include "frmChooseFolder.h"

#include "Twips.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <QResizeEvent>
#include <QStorageInfo>
#include <QStyle>
#include <QTreeWidget>

#include <algorithm>

namespace {

const QString Root = QStringLiteral("/");

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
            [this](QTreeWidgetItem* item) { OpenFolder(item->data(0, Qt::UserRole).toString()); });
    connect(cmdOK, &QPushButton::clicked, this, &frmChooseFolder::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmChooseFolder::reject);

    FillDrives();
    OpenFolder(Root);
}

void frmChooseFolder::SetExternal(const QString& DrivePath)
{
    FillDrives();
    // The drive whose root is the longest one that DrivePath starts with; "/"
    // (the first drive) holds every absolute path, and stands in for the rest.
    int drive = 0;
    int longest = 0;
    for (int i = 1; i < Drive1->count(); ++i) {
        const QString driveRoot = Drive1->itemData(i).toString();
        if ((DrivePath == driveRoot || DrivePath.startsWith(driveRoot + Root)) && driveRoot.size() > longest) {
            drive = i;
            longest = static_cast<int>(driveRoot.size());
        }
    }
    Drive1->setCurrentIndex(drive);
    if (!OpenFolder(DrivePath))
        OpenFolder(Drive1->currentData().toString());
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
    const QString shown = Drive1->currentData().toString();
    const QSignalBlocker quiet(Drive1);
    Drive1->clear();
    for (const QString& rootPath : roots)
        Drive1->addItem(rootPath, rootPath);
    Drive1->setCurrentIndex(std::max(0, static_cast<int>(roots.indexOf(shown))));
}

void frmChooseFolder::Drive1_Change()
{
    // A drive that cannot be read leaves the list on the folder it showed.
    OpenFolder(Drive1->currentData().toString());
}

bool frmChooseFolder::OpenFolder(const QString& folder)
{
    const QFileInfo info(folder);
    if (!QDir::isAbsolutePath(folder) || !info.isDir() || !info.isReadable() || !info.isExecutable())
        return false;
    const QString opened = QDir::cleanPath(info.absoluteFilePath());

    Dir1->clear();
    const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);

    // The chain from "/" down to the opened folder, each one open.
    auto* item = new QTreeWidgetItem(Dir1, {Root});
    item->setData(0, Qt::UserRole, Root);
    item->setIcon(0, openIcon);
    QString walked;
    for (const QString& name : opened.split(Root, Qt::SkipEmptyParts)) {
        walked += Root + name;
        item = new QTreeWidgetItem(item, {name});
        item->setData(0, Qt::UserRole, walked);
        item->setIcon(0, openIcon);
    }
    QFont bold = item->font(0);
    bold.setBold(true);
    item->setFont(0, bold);
    Dir1->setCurrentItem(item);

    // Its subfolders, closed.
    const QDir dir(opened);
    for (const QString& name : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase)) {
        auto* sub = new QTreeWidgetItem(item, {name});
        sub->setData(0, Qt::UserRole, dir.filePath(name));
        sub->setIcon(0, closedIcon);
    }
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
