// File ▸ "Write discs…": the set folders written as disc images, each read
// back per project.

#include "ChildProcess.h"
#include "DiscCheck.h"
#include "UiTest.h"
#include "frmWriteDiscs.h"

#include <QComboBox>
#include <QPushButton>
#include <QTreeWidget>

#include <chrono>
#include <filesystem>

using namespace kelvark;

namespace {

namespace fs = std::filesystem;
using fixtures::ReadFile;
using fixtures::WriteFile;
using fixtures::WriteProject;

class WriteDiscs : public uitest::FolderWindowTest {
protected:
    // The window on root, its folder read and File ▸ "Write discs…" open.
    frmWriteDiscs& Open()
    {
        FolderWindowTest::Open();
        m->cmdReadFolder->click();
        w->messages.shown.clear(); // the read's errors: the sample's missing wave
        m->menuFileWriteDiscs->trigger();
        auto* dialog = m->findChild<frmWriteDiscs*>();
        EXPECT_NE(dialog, nullptr);
        return *dialog;
    }

    // The rows of list, their columns joined by "|".
    static std::vector<std::string> Rows(const QTreeWidget& list)
    {
        std::vector<std::string> rows;
        for (int r = 0; r < list.topLevelItemCount(); ++r) {
            QStringList texts;
            for (int c = 0; c < list.columnCount(); ++c)
                texts.append(list.topLevelItem(r)->text(c));
            rows.push_back(texts.join(u'|').toStdString());
        }
        return rows;
    }
};

TEST_F(WriteDiscs, TheSampleSortedOntoDvdsIsWrittenAsImagesEachIntact)
{
    fs::remove(root.path());
    fixtures::ChildProcess sample(KELVARK_SAMPLE_PATH, {root.str()}, fs::temp_directory_path());
    ASSERT_EQ(sample.Wait(), 0);
    {
        // Sorted as the user sorts it: every question answered Yes, the checksums written.
        uitest::Window sorting(root.str());
        sorting.main.cmdReadFolder->click();
        sorting.main.cmdRearrange[0]->click();
        ASSERT_TRUE(fs::exists(root.path() / "DVD-B" / "SHA256SUMS"));
    }

    frmWriteDiscs& dialog = Open();
    ASSERT_EQ(dialog.lstSets->topLevelItemCount(), 2);
    EXPECT_EQ(dialog.cboTarget->currentText(), "Image files in a folder…");
    for (int r = 0; r < 2; ++r) {
        const QTreeWidgetItem* row = dialog.lstSets->topLevelItem(r);
        EXPECT_TRUE(row->text(1).endsWith(" of 2,295,104 sectors")) << row->text(1).toStdString();
        EXPECT_EQ(row->text(2), "Ready");
        EXPECT_EQ(row->checkState(0), Qt::Checked);
    }
    dialog.cmdWrite->click();

    EXPECT_EQ(Rows(*dialog.lstSets)[0].substr(0, 6), "DVD-A|");
    for (int r = 0; r < 2; ++r)
        EXPECT_EQ(dialog.lstSets->topLevelItem(r)->text(2), "Intact");
    EXPECT_TRUE(fs::exists(root.path() / "DVD-A.iso"));
    EXPECT_TRUE(fs::exists(root.path() / "DVD-B.iso"));
    ASSERT_GT(dialog.lstChecks->topLevelItemCount(), 2);
    for (const std::string& row : Rows(*dialog.lstChecks))
        EXPECT_NE(row.find("|intact|"), std::string::npos) << row;
    EXPECT_TRUE(w->question.asked.empty());
    EXPECT_TRUE(w->messages.shown.empty());
}

// A wave changed after the checksums were written: the disc's read-back
// names it, the set's row is marked and Yes writes the disc again.
TEST_F(WriteDiscs, ADiscThatFailsItsCheckIsMarkedAndOfferedAgain)
{
    const fs::path set = root.path() / "CD-A";
    fs::create_directory(set);
    WriteProject(set, "Alder", {{"Alder 1.wav"}, {"Alder 2.wav"}});
    WriteProject(set, "Blue", {{"Blue 1.wav"}});
    fixtures::RecordingProgress progress;
    ASSERT_FALSE(WriteChecksums(root.str(), HeldSums::Refuse, progress).Failed());
    WriteFile(set / "Alder 2.wav", ReadFile(set / "Alder 2.wav") + "x");
    // As if the checksums were written after the change: only the read-back finds it.
    fs::last_write_time(set / "SHA256SUMS", fs::file_time_type::clock::now() + std::chrono::hours(1));

    frmWriteDiscs& dialog = Open();
    w->question.answers = {true, false};
    dialog.cmdWrite->click();

    const QTreeWidgetItem* row = dialog.lstSets->topLevelItem(0);
    EXPECT_EQ(row->text(2), "Failed its check");
    EXPECT_NE(row->background(0).style(), Qt::NoBrush);
    // A disc without a label is named by its image.
    const std::string question = "CD-A.iso: 1 project intact, 1 changed, 0 missing, 0 extra files.\r\n\r\n"
                                 "CD-A failed its check. Write it again?|Write discs";
    EXPECT_EQ(w->question.asked, std::vector<std::string>({question, question}));
    // Each write's read-back, the project's row marked.
    const std::vector<std::string> checked{"CD-A.iso|Alder|changed|\"Alder 2.wav\"", "CD-A.iso|Blue|intact|"};
    std::vector<std::string> twice = checked;
    twice.insert(twice.end(), checked.begin(), checked.end());
    EXPECT_EQ(Rows(*dialog.lstChecks), twice);
    EXPECT_NE(dialog.lstChecks->topLevelItem(0)->background(1).style(), Qt::NoBrush);
    // The image that failed is gone; the set folder is as it was.
    EXPECT_FALSE(fs::exists(root.path() / "CD-A.iso"));
    EXPECT_TRUE(fs::exists(set / "Alder 2.wav"));
}

} // namespace
