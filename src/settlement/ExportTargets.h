#pragma once

#include <QString>
#include <QStringList>

// Where the clerk's exports (the spreadsheet, a printed PDF) may be written.
// Nobody needs a sign-in to export, so no export may land on a file the desk
// keeps: inside the data directory only its export folder takes files, and
// the other protected folders (the program's own, the alias registry's) none.
// Paths are compared after links and ".." are resolved.
class ExportTargets {
public:
    // Protects nothing: for views made without a desk around them.
    ExportTargets() = default;
    ExportTargets(QString dataDir, QStringList otherProtectedDirs);

    // The folder the save dialog starts in: the documents folder when it lies
    // outside the data directory, else the export folder in it (the kiosk
    // user's home is the data directory). Made when missing.
    QString startFolder() const;
    // `Export` in the data directory.
    QString exportFolder() const;

    // Why `path` may not be written, or an empty text when it may.
    QString refusal(const QString& path) const;

private:
    QString dataDir_;
    QStringList otherProtected_;
};
