#pragma once

#include <QHash>
#include <QImage>
#include <QString>

#include "platform/Errors.h"

// Finds the pictures and sounds of the board: first in the data directory,
// then beside the program, so that a fresh data directory works with the
// files that were installed with it. Names are matched without regard to
// case ("Bell.Wav" finds bell.wav), as they were on the desks these data
// directories come from. Pictures are loaded once and kept.
class Assets {
public:
    Assets(QString dataDir, QString programDir);

    // The file's path: the data directory's copy if it exists, else the
    // program's, else the data directory's (which then does not exist). In
    // each directory a file spelt exactly so comes before one that differs
    // only in case.
    QString path(const QString& name) const;

    // The picture, loaded on first use; raises a TavolenError when the file
    // is missing or not a picture.
    const QImage& picture(const QString& name);

private:
    QString dataDir_;
    QString programDir_;
    QHash<QString, QImage> pictures_;
};
