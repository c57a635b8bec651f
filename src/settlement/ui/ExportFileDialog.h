#pragma once

#include <QFileDialog>

#include "settlement/ExportTargets.h"

class Dialogs;

// The save dialog of the settlement's 엑셀: read-only (no deleting, renaming
// or new folders, from its menu or its keys), started in the export folder,
// and refusing a file inside the desk's own folders with an error box while
// it stays open.
class ExportFileDialog : public QFileDialog {
    Q_OBJECT
public:
    static const QString kXls;   // the name filter of .xls
    static const QString kXlsx;  // the name filter of .xlsx

    ExportFileDialog(const ExportTargets& targets, Dialogs& dialogs, QWidget* parent = nullptr);

    // The chosen file with its extension; empty when cancelled.
    static QString ask(const ExportTargets& targets, Dialogs& dialogs, QWidget* parent);

public slots:
    void accept() override;

private:
    const ExportTargets& targets_;
    Dialogs& dialogs_;
};
