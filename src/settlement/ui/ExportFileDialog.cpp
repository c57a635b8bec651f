#include "settlement/ui/ExportFileDialog.h"

#include <QAction>
#include <QFileInfo>

#include "platform/Dialogs.h"

const QString ExportFileDialog::kXls = QStringLiteral("Excel 97-2003 (*.xls)");
const QString ExportFileDialog::kXlsx = QStringLiteral("Excel (*.xlsx)");

ExportFileDialog::ExportFileDialog(const ExportTargets& targets, Dialogs& dialogs, QWidget* parent)
    : QFileDialog(parent, QStringLiteral("엑셀")), targets_(targets), dialogs_(dialogs) {
    // A dialog of the desktop's own would bring its own file menu back.
    setOption(QFileDialog::DontUseNativeDialog, true);
    setOption(QFileDialog::ReadOnly, true);
    // Read-only turns the button off; its action waits for the menu to follow.
    if (auto* newFolder = findChild<QAction*>(QStringLiteral("qt_new_folder_action")))
        newFolder->setEnabled(false);
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
    setNameFilters({kXls, kXlsx});
    setDefaultSuffix(QStringLiteral("xls"));
    connect(this, &QFileDialog::filterSelected, this, [this](const QString& filter) {
        setDefaultSuffix(filter == kXlsx ? QStringLiteral("xlsx") : QStringLiteral("xls"));
    });
    setDirectory(targets_.startFolder());
}

void ExportFileDialog::accept() {
    const QStringList files = selectedFiles();
    // A folder typed into the name box is opened, as the dialog always does.
    if (files.size() == 1 && !QFileInfo(files.first()).isDir()) {
        const QString refusal = targets_.refusal(files.first());
        if (!refusal.isEmpty()) {
            dialogs_.showError(refusal);
            return;
        }
    }
    QFileDialog::accept();
}

QString ExportFileDialog::ask(const ExportTargets& targets, Dialogs& dialogs, QWidget* parent) {
    ExportFileDialog dialog(targets, dialogs, parent);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
    return dialog.selectedFiles().first();
}
