#include "UiTest.h"

#include "MessageBoxes.h"

#include <QApplication>
#include <QCheckBox>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

namespace {

using uitest::WhenShown;
using Boxes = uitest::UiTest;

TEST_F(Boxes, MessageHasNoIconTheApplicationsTitleAndOK)
{
    MessageBoxes boxes;
    WhenShown<QMessageBox>([](QMessageBox& box) {
        EXPECT_EQ(box.windowTitle(), "Kelvark");
        EXPECT_EQ(box.icon(), QMessageBox::NoIcon);
        EXPECT_EQ(box.standardButtons(), QMessageBox::Ok);
        EXPECT_EQ(box.text(), "Project: <Take>\n     take.wav");
        EXPECT_EQ(box.textFormat(), Qt::PlainText);
        box.button(QMessageBox::Ok)->click();
    });
    boxes.Show("Project: <Take>\r\n     take.wav");
}

TEST_F(Boxes, QuestionHasYesAsDefault)
{
    MessageBoxes boxes;
    WhenShown<QMessageBox>([](QMessageBox& box) {
        EXPECT_EQ(box.windowTitle(), "Backup sort");
        EXPECT_EQ(box.icon(), QMessageBox::NoIcon);
        EXPECT_EQ(box.standardButtons(), QMessageBox::Yes | QMessageBox::No);
        box.defaultButton()->click();
    });
    EXPECT_TRUE(boxes.AskYesNo("Move?", "Backup sort"));

    WhenShown<QMessageBox>([](QMessageBox& box) { box.button(QMessageBox::No)->click(); });
    EXPECT_FALSE(boxes.AskYesNo("Move?", "Backup sort"));
}

TEST_F(Boxes, NoticeOffersToShowNoMore)
{
    MessageBoxes boxes;
    for (const bool check : {false, true}) {
        WhenShown<QMessageBox>([check](QMessageBox& box) {
            EXPECT_EQ(box.windowTitle(), "Kelvark");
            EXPECT_EQ(box.text(), "Unknown chunk \"LIST\" in file take.wav");
            ASSERT_NE(box.checkBox(), nullptr);
            EXPECT_EQ(box.checkBox()->text(), "Show no more notices during this read");
            EXPECT_FALSE(box.checkBox()->isChecked());
            box.checkBox()->setChecked(check);
            box.button(QMessageBox::Ok)->click();
        });
        EXPECT_EQ(boxes.ShowNotice("Unknown chunk \"LIST\" in file take.wav"), check);
    }
}

TEST_F(Boxes, InputBoxOffersTheDefaultAndGivesNothingOnCancel)
{
    MessageBoxes boxes;
    WhenShown<QInputDialog>([](QInputDialog& input) {
        EXPECT_EQ(input.windowTitle(), "Rename project");
        // Room for the title between the title bar's icon and buttons.
        EXPECT_GE(input.width(), 320);
        EXPECT_EQ(input.labelText(), "Enter new name");
        EXPECT_EQ(input.textValue(), "Take");
        input.setTextValue("Final");
        input.accept();
    });
    EXPECT_EQ(boxes.Ask("Enter new name", "Rename project", "Take"), "Final");

    WhenShown<QInputDialog>([](QInputDialog& input) { input.reject(); });
    EXPECT_EQ(boxes.Ask("Enter new name", "Rename project", "Take"), "");
}

TEST_F(Boxes, BytesThatAreNotUtf8AreShownAsWindows1252AndTheDefaultGivesBackItsOwn)
{
    MessageBoxes boxes;
    WhenShown<QMessageBox>([](QMessageBox& box) {
        EXPECT_EQ(box.text(), QString::fromUtf8("File not found: Café 01.wav"));
        box.button(QMessageBox::Ok)->click();
    });
    boxes.Show("File not found: Caf\xE9 01.wav");

    // Accepted as shown, the default stands for its own bytes; an edited text is UTF-8.
    const std::vector<std::pair<QString, std::string>> answers = {
        {QString::fromUtf8("Café Latin"), "Caf\xE9 Latin"}, {QString::fromUtf8("Café Latino"), "Caf\xC3\xA9 Latino"}};
    for (const auto& [typed, bytes] : answers) {
        WhenShown<QInputDialog>([typed](QInputDialog& input) {
            EXPECT_EQ(input.textValue(), QString::fromUtf8("Café Latin"));
            input.setTextValue(typed);
            input.accept();
        });
        EXPECT_EQ(boxes.Ask("Enter new name", "Rename project", "Caf\xE9 Latin"), bytes);
    }
}

} // namespace
