#pragma once

#include <QHash>
#include <QImage>
#include <QString>

#include "platform/Errors.h"

// Finds the pictures and sounds of the board: first in the data directory,
// then beside the program, so that a fresh data directory works with the
// files that were installed with it. Pictures are loaded once and kept.
class Assets {
public:
    Assets(QString dataDir, QString programDir);

    // The file's path: the data directory's copy if it exists, else the
    // program's, else the data directory's (which then does not exist).
    QString path(const QString& name) const;

    // The picture, loaded on first use; raises a TavolenError when the file
    // is missing or not a picture.
    const QImage& picture(const QString& name);

private:
    QString dataDir_;
    QString programDir_;
    QHash<QString, QImage> pictures_;
};
