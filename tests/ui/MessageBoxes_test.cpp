#include "UiTest.h"

#include "MessageBoxes.h"

#include <QApplication>
#include <QCheckBox>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

using namespace kelvark;

namespace {

using uitest::WhenShown;
using Boxes = uitest::UiTest;

TEST_F(Boxes, MessageHasTheInformationIconOrTheOneAskedForTheApplicationsTitleAndOK)
{
    MessageBoxes boxes;
    for (const QMessageBox::Icon icon : {QMessageBox::Information, QMessageBox::Warning}) {
        WhenShown<QMessageBox>([icon](QMessageBox& box) {
            EXPECT_EQ(box.windowTitle(), "Kelvark");
            EXPECT_EQ(box.icon(), icon);
            EXPECT_EQ(box.standardButtons(), QMessageBox::Ok);
            EXPECT_EQ(box.text(), "Project: <Take>\n     take.wav");
            EXPECT_EQ(box.textFormat(), Qt::PlainText);
            box.button(QMessageBox::Ok)->click();
        });
        if (icon == QMessageBox::Information)
            boxes.Show("Project: <Take>\r\n     take.wav");
        else
            boxes.Show("Project: <Take>\r\n     take.wav", icon);
    }
}

TEST_F(Boxes, QuestionHasYesAsDefault)
{
    MessageBoxes boxes;
    WhenShown<QMessageBox>([](QMessageBox& box) {
        EXPECT_EQ(box.windowTitle(), "Backup sort");
        EXPECT_EQ(box.icon(), QMessageBox::Question);
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
            EXPECT_EQ(box.icon(), QMessageBox::Warning);
            EXPECT_EQ(box.text(), "Unknown chunk \"LIST\" in file take.wav");
            ASSERT_NE(box.checkBox(), nullptr);
            EXPECT_EQ(box.checkBox()->text(), "&Show no more notices during this read");
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
        EXPECT_EQ(input.okButtonText(), "&OK");
        EXPECT_EQ(input.cancelButtonText(), "&Cancel");
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

// A long text shows its first lines and a count, the whole text in the details
// area, and the box, details open, stays within the screen.
TEST_F(Boxes, LongTextShowsItsFirstLinesAndTheWholeTextInTheDetails)
{
    std::string refusal = "Errors for this folder: ";
    for (int i = 1; i <= 5500; ++i)
        refusal +=
            "\r\n  Project Take " + std::to_string(i) + " was not read: The read was cancelled before this project.";
    std::string folders;
    for (int i = 0; i < 642; ++i)
        folders += (i == 0 ? "" : ", ") + std::string("DVD-") + char('A' + i % 26) + char('A' + i / 26);
    const std::string question = "Move the 9000 files of " + folders + " back into /music/ and remove those folders?";
    struct Case {
        std::string text;
        bool isQuestion;
        QString firstLine;
        QString kept; // a line the box shows
    };
    const Case cases[] = {
        {refusal, false, "Errors for this folder: ", "5,481 more lines (Show Details... shows the whole text)."},
        {question, true, "Move the 9000 files of DVD-AA, DVD-BA",
         "DVD-QY, DVD-RY back into /music/ and remove those folders?"},
    };
    MessageBoxes boxes;
    for (const Case& c : cases) {
        WhenShown<QMessageBox>([&c](QMessageBox& box) {
            const QStringList lines = box.text().split('\n');
            EXPECT_LE(lines.size(), 24);
            EXPECT_TRUE(lines.first().startsWith(c.firstLine)) << lines.first().toStdString();
            EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const QString& line) {
                return line.endsWith(c.kept);
            })) << box.text().toStdString();
            EXPECT_EQ(box.detailedText(), uitest::Qs(c.text).replace("\r\n", "\n"));
            for (QAbstractButton* button : box.buttons())
                if (button->text().startsWith("Show Details"))
                    button->click();
            const QRect screen = box.screen()->availableGeometry();
            EXPECT_LT(box.sizeHint().height(), screen.height());
            EXPECT_LT(box.height(), screen.height());
            box.close();
        });
        if (c.isQuestion)
            boxes.AskYesNo(c.text, "Undo backup sort");
        else
            boxes.Show(c.text);
    }

    // A short text has no details.
    WhenShown<QMessageBox>([](QMessageBox& box) {
        EXPECT_EQ(box.detailedText(), "");
        box.close();
    });
    boxes.Show("Done.");
}

} // namespace
