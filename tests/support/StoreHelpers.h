#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <vector>

#include "store/Database.h"
#include "store/Query.h"

// Reads and changes a test database with statements of the test's own, on a
// query of their own, so the board's shared queries are left alone.
inline std::vector<QStringList> rowsOf(Database& db, const QString& sql) {
    Query q(db);
    q.addLine(sql);
    q.open();
    return q.rows();
}

inline void execSql(Database& db, const QString& sql) {
    Query q(db);
    q.addLine(sql);
    q.exec();
}

inline QByteArray readBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline void writeBytes(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (f.open(QIODevice::WriteOnly)) f.write(bytes);
}

// A new installation hashes three default passwords, which takes a good part
// of a second; tests that are not about a new installation start from a copy
// of one database made once per test program.
inline void copyFreshDatabase(const QString& dataDir) {
    static QTemporaryDir source;
    static const QString made = [] {
        Database db(source.path());
        db.open();
        return db.path();
    }();
    QDir().mkpath(QDir(dataDir).filePath(QStringLiteral("DB")));
    QFile::copy(made, QDir(dataDir).filePath(QStringLiteral("DB/motel.db")));
}
