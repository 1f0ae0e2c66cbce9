#include "UiTest.h"

#include <QComboBox>
#include <QFileInfo>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <filesystem>

namespace {

using uitest::UiTest;

class FolderChooser : public UiTest {
protected:
    fixtures::TempDir temp;
    std::string dir = temp.path().string();
    frmChooseFolder chooser{nullptr};

    void SetUp() override
    {
        UiTest::SetUp();
        std::filesystem::create_directories(temp.path() / "Songs" / "Live");
        std::filesystem::create_directories(temp.path() / "Takes");
    }

    QTreeWidgetItem* Item(const QString& text)
    {
        const auto found = chooser.Dir1->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
        return found.isEmpty() ? nullptr : found.first();
    }
};

TEST_F(FolderChooser, HasItsControls)
{
    EXPECT_EQ(chooser.windowTitle(), "Choose Folder");
    EXPECT_EQ(chooser.cmdOK->text(), "OK");
    EXPECT_EQ(chooser.cmdCancel->text(), "Cancel");
    EXPECT_TRUE(chooser.cmdOK->isDefault());
    EXPECT_FALSE(chooser.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    const QList<QWidget*> order = {chooser.Drive1, chooser.Dir1, chooser.cmdOK, chooser.cmdCancel};
    EXPECT_EQ(uitest::TabChain(order), order);
}

TEST_F(FolderChooser, DrivesAreFoldersWithTheRootFirst)
{
    ASSERT_GE(chooser.Drive1->count(), 1);
    EXPECT_EQ(chooser.Drive1->itemData(0).toString(), "/");
    QStringList roots;
    for (int i = 0; i < chooser.Drive1->count(); ++i) {
        const QString root = chooser.Drive1->itemData(i).toString();
        EXPECT_TRUE(QFileInfo(root).isDir()) << root.toStdString();
        EXPECT_FALSE(roots.contains(root)) << root.toStdString();
        roots.append(root);
    }
}

TEST_F(FolderChooser, OKTakesTheStartFolderWithoutItsSeparator)
{
    chooser.SetExternal(dir + "/");
    EXPECT_EQ(chooser.Path(), dir);
    chooser.cmdOK->click();
    EXPECT_EQ(chooser.ChosenFolder, dir);
    EXPECT_FALSE(chooser.isVisible());

    chooser.SetExternal("/");
    chooser.cmdOK->click();
    EXPECT_EQ(chooser.ChosenFolder, "/");
}

TEST_F(FolderChooser, ListShowsParentsAboveAndSubfoldersBelow)
{
    chooser.SetExternal(dir + "/Songs/");
    QTreeWidgetItem* songs = Item("Songs");
    ASSERT_NE(songs, nullptr);
    ASSERT_EQ(songs->childCount(), 1);
    EXPECT_EQ(songs->child(0)->text(0), "Live");
    EXPECT_EQ(Item("Takes"), nullptr) << "a sibling of the opened folder is not listed";
    QStringList chain;
    for (QTreeWidgetItem* item = songs; item; item = item->parent())
        chain.prepend(item->text(0));
    EXPECT_EQ(chain.first(), "/");
    EXPECT_EQ(chain.mid(1).join("/"), uitest::Qs(dir + "/Songs").mid(1));
}

TEST_F(FolderChooser, DoubleClickOpensAFolderAndAHighlightIsNotTaken)
{
    chooser.SetExternal(dir);
    chooser.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&chooser));
    QTreeWidgetItem* songs = Item("Songs");
    ASSERT_NE(songs, nullptr);
    const QPoint at = chooser.Dir1->visualItemRect(songs).center();
    // The second press of a double-click arrives as the double-click itself.
    QTest::mouseClick(chooser.Dir1->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(chooser.Dir1->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(chooser.Path(), dir + "/Songs");

    chooser.Dir1->setCurrentItem(Item("Live"));
    chooser.cmdOK->click();
    EXPECT_EQ(chooser.ChosenFolder, dir + "/Songs");
}

TEST_F(FolderChooser, ShowsAndOpensAFolderWhoseNameIsNotUtf8)
{
    // Two folders shown alike: "Café" in UTF-8, and as Windows writes it, byte 0xE9.
    const std::string utf8 = dir + "/Caf\xC3\xA9";
    const std::string windows = dir + "/Caf\xE9";
    std::filesystem::create_directories(utf8);
    std::filesystem::create_directories(windows + "/Takes");
    chooser.SetExternal(dir);
    const auto shown = chooser.Dir1->findItems(QString::fromUtf8("Café"), Qt::MatchExactly | Qt::MatchRecursive);
    ASSERT_EQ(shown.size(), 2);
    EXPECT_EQ(shown[0]->data(0, Qt::UserRole).toByteArray().toStdString(), utf8);
    EXPECT_EQ(shown[1]->data(0, Qt::UserRole).toByteArray().toStdString(), windows);

    emit chooser.Dir1->itemDoubleClicked(shown[1], 0);
    EXPECT_EQ(chooser.Path(), windows);
    ASSERT_NE(Item("Takes"), nullptr);
    EXPECT_EQ(chooser.Dir1->currentItem()->text(0), QString::fromUtf8("Café"));
    chooser.cmdOK->click();
    EXPECT_EQ(chooser.ChosenFolder, windows);

    chooser.SetExternal(windows + "/Takes/");
    EXPECT_EQ(chooser.Path(), windows + "/Takes");
}

TEST_F(FolderChooser, MissingFolderFallsBackToItsDrivesRoot)
{
    chooser.SetExternal(dir + "/Gone/Away/");
    const std::string driveRoot = chooser.Drive1->currentData().toByteArray().toStdString();
    EXPECT_TRUE(dir.starts_with(driveRoot)) << driveRoot;
    EXPECT_EQ(chooser.Path(), driveRoot);
}

TEST_F(FolderChooser, PathWithoutADriveFallsBackToTheRoot)
{
    chooser.SetExternal(dir);
    chooser.SetExternal("no/such/folder/");
    EXPECT_EQ(chooser.Drive1->currentIndex(), 0);
    EXPECT_EQ(chooser.Path(), "/");
}

TEST_F(FolderChooser, CancelAndTheCloseButtonChooseNothing)
{
    chooser.SetExternal(dir);
    chooser.OpenFolder(dir + "/Takes");
    chooser.cmdCancel->click();
    EXPECT_EQ(chooser.ChosenFolder, "");

    chooser.SetExternal(dir);
    chooser.show();
    chooser.close();
    EXPECT_EQ(chooser.ChosenFolder, "");
    EXPECT_FALSE(chooser.isVisible());
}

TEST_F(FolderChooser, UnreadableFolderLeavesTheListAsItWas)
{
    chooser.SetExternal(dir);
    EXPECT_FALSE(chooser.OpenFolder(dir + "/Songs/Missing"));
    EXPECT_EQ(chooser.Path(), dir);
}

TEST_F(FolderChooser, SpringsBackToItsSmallestSizeAndLaysOutByTheOuterSize)
{
    chooser.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&chooser));
    chooser.resize(50, 50);
    // 3300 by 4170 twips, frame included.
    ASSERT_TRUE(QTest::qWaitFor([&] { return chooser.frameGeometry().size() == QSize(220, 278); }));

    chooser.resize(chooser.width() + 100, chooser.height() + 60);
    ASSERT_TRUE(QTest::qWaitFor([&] { return chooser.frameGeometry().size() == QSize(320, 338); }));
    const QSize outer = chooser.frameGeometry().size();
    EXPECT_EQ(chooser.Dir1->geometry(), QRect(10, 35, outer.width() - 29, outer.height() - 107));
    EXPECT_EQ(chooser.cmdOK->pos(), QPoint(outer.width() - 80, outer.height() - 63));
    EXPECT_EQ(chooser.cmdCancel->pos(), QPoint(outer.width() - 150, outer.height() - 63));
    EXPECT_EQ(chooser.Drive1->geometry(), QRect(10, 10, 191, 21));
}

} // namespace
