#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>

#include "settlement/ExportTargets.h"
#include "settlement/ui/ExportFileDialog.h"
#include "support/Fakes.h"
#include "support/StoreHelpers.h"

namespace {

// A desk's folders and a folder of the clerk's own beside them.
struct Folders {
    QTemporaryDir dir;
    QString data = dir.filePath("data");
    QString program = dir.filePath("program");
    QString registry = dir.filePath("config/tavolen");
    QString elsewhere = dir.filePath("usb");
    ExportTargets targets{data, {program, registry}};

    Folders() {
        for (const QString& d :
             {data + "/DB/Backup", data + "/Export", program, registry, elsewhere})
            QDir().mkpath(d);
        writeBytes(data + "/TavolenConfig.ini", "[Motel]\n");
        writeBytes(data + "/DB/motel.db", "db");
    }
};

TEST(ExportTargets, NothingTheDeskKeepsCanBeATarget) {
    Folders f;
    QFile::link(f.data + "/TavolenConfig.ini", f.elsewhere + "/report.xls");
    QFile::link(f.data + "/DB", f.elsewhere + "/db-link");
    QFile::link(f.data + "/DB/none.xls", f.elsewhere + "/dangling.xls");
    const struct Case {
        QString path;
        bool refused;
    } cases[] = {
        {f.data + "/TavolenConfig.ini", true},
        {f.data + "/DB/motel.db", true},
        {f.data + "/DB/Backup/new.xls", true},
        {f.data + "/new.xls", true},
        {f.data + "/DB", true},                     // a folder
        {f.data + "/Export/../DB/motel.db", true},  // back out of the export folder
        {f.data + "/Export/../../data/tavolen.log", true},
        {f.elsewhere + "/report.xls", true},     // a link to the room-state file
        {f.elsewhere + "/db-link/x.xls", true},  // through a linked folder
        {f.elsewhere + "/dangling.xls", true},   // a link to a file not yet there
        {f.program + "/tavolen", true},
        {f.registry + "/aliases.ini", true},
        {f.data + "/Export", true},  // the folder itself
        {f.data + "/Export/day.xls", false},
        {f.elsewhere + "/day.xlsx", false},
        {f.elsewhere + "/new/day.xls", false},  // the writer says the folder is missing
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        const QString refusal = f.targets.refusal(c.path);
        EXPECT_EQ(!refusal.isEmpty(), c.refused) << refusal.toStdString();
    }
    // An export folder that is a link into the desk's files counts as those.
    QDir(f.data + "/Export").removeRecursively();
    QFile::link(f.data + "/DB", f.data + "/Export");
    EXPECT_FALSE(f.targets.refusal(f.data + "/Export/motel.db").isEmpty());
    EXPECT_FALSE(f.targets.refusal(f.data + "/Export/day.xls").isEmpty());
}

TEST(ExportTargets, TheDialogIsReadOnlyStartsInAnExportFolderAndRefusesTheDesksFiles) {
    Folders f;
    ScriptedDialogs dialogs;
    // The kiosk's home is the data directory: documents there are no place
    // for exports.
    const QByteArray home = qgetenv("HOME"), config = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", f.data.toUtf8());
    qputenv("XDG_CONFIG_HOME", f.dir.filePath("config").toUtf8());
    ExportFileDialog dialog(f.targets, dialogs);
    qputenv("HOME", home);
    qputenv("XDG_CONFIG_HOME", config);
    if (config.isEmpty()) qunsetenv("XDG_CONFIG_HOME");
    EXPECT_TRUE(dialog.testOption(QFileDialog::ReadOnly));
    EXPECT_TRUE(dialog.testOption(QFileDialog::DontUseNativeDialog));
    EXPECT_EQ(QDir(dialog.directory()).canonicalPath(), QDir(f.data + "/Export").canonicalPath());
    dialog.show();
    for (const char* name : {"qt_rename_action", "qt_delete_action", "qt_new_folder_action"}) {
        auto* action = dialog.findChild<QAction*>(QString::fromLatin1(name));
        ASSERT_NE(action, nullptr) << name;
        EXPECT_FALSE(action->isEnabled()) << name;
    }
    auto* newFolder = dialog.findChild<QToolButton*>(QStringLiteral("newFolderButton"));
    ASSERT_NE(newFolder, nullptr);
    EXPECT_FALSE(newFolder->isEnabled());

    // A name inside the desk's files: an error box, and the dialog stays.
    auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(name, nullptr);
    dialog.setDirectory(f.data + "/DB");
    name->setText("motel.db");
    dialog.accept();
    EXPECT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), 0);

    dialog.setDirectory(f.elsewhere);
    name->setText("day");
    dialog.selectNameFilter(ExportFileDialog::kXlsx);
    emit dialog.filterSelected(ExportFileDialog::kXlsx);
    dialog.accept();
    EXPECT_EQ(dialogs.errors.size(), 1);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(QFileInfo(dialog.selectedFiles().value(0)).fileName(), QStringLiteral("day.xlsx"));
}

}  // namespace
