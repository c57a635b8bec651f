#pragma once

#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include "lockdown/LockdownLog.h"

// Points the lockdown's log at a temporary directory for one test.
struct LockdownLogFile {
    QTemporaryDir dir;
    LockdownLogFile() { setLockdownLogDir(dir.path()); }
    ~LockdownLogFile() { setLockdownLogDir(QString()); }
    QString text() const {
        QFile f(dir.filePath(QStringLiteral("lockdown.log")));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
};
