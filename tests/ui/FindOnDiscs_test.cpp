// File ▸ "Find on discs…": the catalogue's projects found by part of their
// name, its discs with those due for a check marked, and Restore.

#include "Catalogue.h"
#include "CatalogueModel.h"
#include "DiscCheck.h"
#include "ProjectGrid.h"
#include "UiTest.h"
#include "frmFindOnDiscs.h"

#include <QAbstractItemModel>
#include <QDate>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableView>
#include <QTest>

#include <filesystem>

using namespace kelvark;

namespace {

namespace fs = std::filesystem;
using uitest::Qs;

// The day years before today, as the catalogue keeps days.
std::string YearsAgo(int years)
{
    return QDate::currentDate().addYears(-years).toString(Qt::ISODate).toStdString();
}

class FindOnDiscs : public uitest::FolderWindowTest {
protected:
    fixtures::TempDir data;
    std::string catalogue = (data.path() / "catalogue.sqlite").string();

    // Records a backup of root into the catalogue: DVD-A holds Blue Hour and
    // Red Sky, DVD-B holds Blue Note; DVD-A was last verified verifiedA.
    void Record(const std::string& verifiedA)
    {
        Catalogue book;
        ASSERT_FALSE(book.Open(catalogue).Failed());
        const std::string backupRoot = root.path().string();
        const std::string sorted = YearsAgo(5);
        const auto project = [](const std::string& name) { return CatalogueProject{name, {{name + ".cue", 100, {}}}}; };
        CatalogueBackup backup{backupRoot, sorted, "dvd", {}};
        backup.discs.push_back({"DVD-A", 1, 2, 4'700'000'000, 200, {project("Blue Hour"), project("Red Sky")}});
        backup.discs.push_back({"DVD-B", 2, 2, 4'700'000'000, 100, {project("Blue Note")}});
        ASSERT_FALSE(book.RecordBackup(backup).Failed());
        FolderCheck none;
        ASSERT_FALSE(book.RecordVerified({backupRoot, sorted, "DVD-A"}, verifiedA, none).Failed());
        ASSERT_FALSE(book.RecordVerified({backupRoot, sorted, "DVD-B"}, YearsAgo(0), none).Failed());
    }

    // The window on root with File ▸ "Find on discs…" open on the catalogue, its first read ended.
    frmFindOnDiscs& Find()
    {
        uitest::StoreSetting(QStringLiteral("Catalogue"), Qs(catalogue));
        Open();
        m->menuFileFind->trigger();
        auto* dialog = m->findChild<frmFindOnDiscs*>();
        EXPECT_NE(dialog, nullptr);
        Settle(*dialog);
        return *dialog;
    }

    // Waits for the dialog's read of the catalogue to end, unless none runs.
    static void Settle(frmFindOnDiscs& dialog)
    {
        QSignalSpy read(&dialog, &frmFindOnDiscs::Queried);
        EXPECT_TRUE(read.wait(10000));
    }

    // The rows of table, their first columns cells (all of them when -1) joined by "|".
    static std::vector<std::string> Rows(const QTableView& table, int columns = -1)
    {
        const QAbstractItemModel& model = *table.model();
        std::vector<std::string> rows;
        for (int r = 0; r < model.rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < (columns < 0 ? model.columnCount() : columns); ++c)
                cells.append(model.index(r, c).data().toString());
            rows.push_back(cells.join(u'|').toStdString());
        }
        return rows;
    }
};

TEST_F(FindOnDiscs, PartOfANameFindsItsDiscAndADiscUncheckedForThreeYearsIsDue)
{
    Record(YearsAgo(4));
    frmFindOnDiscs& dialog = Find();
    const std::string backupRoot = root.path().string();

    QSignalSpy read(&dialog, &frmFindOnDiscs::Queried);
    QTest::keyClicks(dialog.txtFind, QStringLiteral("blue h"));
    ASSERT_TRUE(read.wait(10000));
    EXPECT_EQ(Rows(*dialog.tblFound), std::vector<std::string>({"Blue Hour|DVD-A|" + backupRoot + "|" + YearsAgo(5)
                                                                + "||" + YearsAgo(4) + "|"}));
    EXPECT_EQ(dialog.lblFound->text(), "1 project");

    // Oldest check first; the one verified four years ago is due.
    EXPECT_EQ(Rows(*dialog.tblDiscs, DiscModel::Verdict),
              std::vector<std::string>({"Due|DVD-A|" + backupRoot + "|" + YearsAgo(5) + "|DVD|2||" + YearsAgo(4),
                                        "|DVD-B|" + backupRoot + "|" + YearsAgo(5) + "|DVD|1||" + YearsAgo(0)}));
    const QAbstractItemModel& discs = *dialog.tblDiscs->model();
    EXPECT_EQ(discs.index(0, 2).data(Qt::ToolTipRole).toString(), "Not verified for three years or more");
    EXPECT_TRUE(discs.index(0, 1).data(Qt::FontRole).value<QFont>().bold());
    EXPECT_FALSE(discs.index(1, 0).data(Qt::ToolTipRole).isValid());
    EXPECT_EQ(dialog.tabs->tabText(1), "&Discs (1 due)");
}

} // namespace

// A catalogue that can't be read is named in the dialog; Catalogue file…
// chooses another, which the setting keeps.
TEST_F(FindOnDiscs, ACatalogueThatCantBeReadIsNamedAndAnotherCanBeChosen)
{
    Record(YearsAgo(1));
    const std::string good = catalogue;
    catalogue = (data.path() / "damaged.sqlite").string();
    fixtures::WriteFile(catalogue, std::string(4096, 'x'));
    frmFindOnDiscs& dialog = Find();

    std::vector<DiscRow> none;
    const QString why = Qs(DiscsCommand(catalogue, none).Message());
    EXPECT_TRUE(why.contains(Qs(catalogue))) << why.toStdString();
    EXPECT_EQ(dialog.lblFound->text(), why);
    EXPECT_EQ(dialog.lblDiscs->text(), why);
    EXPECT_EQ(dialog.tblDiscs->model()->rowCount(), 0);

    uitest::AnswerFolderDialog(good);
    QSignalSpy read(&dialog, &frmFindOnDiscs::Queried);
    dialog.cmdCatalogue->click();
    ASSERT_TRUE(read.wait(10000));
    EXPECT_EQ(dialog.tblDiscs->model()->rowCount(), 2);
    EXPECT_EQ(dialog.txtCatalogue->text(), Qs(good));
    EXPECT_EQ(uitest::StoredSetting(QStringLiteral("Catalogue")), Qs(good));
}

// Restore copies the selected project from the set folder given into the
// folder read, and the grid shows it.
TEST_F(FindOnDiscs, RestoreCopiesTheProjectFromItsSetFolderIntoTheFolderRead)
{
    const fs::path set = root.path() / "DVD-A";
    fs::create_directory(set);
    fixtures::WriteProject(set, "Blue Hour", {{"Blue Hour 1.wav"}});
    fixtures::RecordingProgress progress;
    ASSERT_FALSE(WriteChecksums(set.string() + "/", HeldSums::Refuse, progress).Failed());
    Record(YearsAgo(1));
    frmFindOnDiscs& dialog = Find();
    QSignalSpy read(&dialog, &frmFindOnDiscs::Queried);
    QTest::keyClicks(dialog.txtFind, QStringLiteral("hour"));
    ASSERT_TRUE(read.wait(10000));
    dialog.tblFound->selectRow(0);
    ASSERT_TRUE(dialog.cmdRestore->isEnabled());

    uitest::FolderDialogSeen seen;
    uitest::AnswerFolderDialog(set.string(), &seen);
    dialog.menuRestore->actions().front()->trigger();
    EXPECT_EQ(seen.startedAt, set.string());
    EXPECT_TRUE(fs::exists(root.path() / "Blue Hour.cue"));
    EXPECT_TRUE(fs::exists(root.path() / "Blue Hour 1.wav"));
    ASSERT_EQ(m->grdOut->RowCount(), 1);
    EXPECT_EQ(m->grdOut->Text(0, 0), "Blue Hour");
}

// Backup Sort and its checksums record into the catalogue the setting names.
TEST_F(FindOnDiscs, TheWindowsSortRecordsIntoTheCatalogueOfItsSetting)
{
    fixtures::WriteProject(root.path(), "Alder", {{"Alder 1.wav"}});
    uitest::StoreSetting(QStringLiteral("Catalogue"), Qs(catalogue));
    Open();
    m->cmdReadFolder->click();
    m->cmdRearrange[0]->click();
    ASSERT_TRUE(fs::exists(root.path() / "DVD-A" / "SHA256SUMS"));

    std::vector<WhereRow> rows;
    ASSERT_FALSE(WhereCommand("alder", catalogue, rows).Failed());
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].disc.set, "DVD-A");
}
