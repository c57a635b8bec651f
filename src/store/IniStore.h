#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

#include "platform/Errors.h"

// Raised when the file cannot be replaced; the text is "Unable to write to <path>".
class IniWriteError : public TavolenError {
public:
    using TavolenError::TavolenError;
};

// Raised for a name or value that cannot be written on one INI line (a line break, a "=" in a
// key, a "]" in a section name); the file is left as it was.
class IniValueError : public TavolenError {
public:
    using TavolenError::TavolenError;
};

// The room-state file: CP949 on disk, names matched without regard to case,
// every read reads the file, every write replaces the whole file atomically.
// Only the scan of the last bytes read is kept: a file that reads the same as
// last time is not scanned again.
class IniStore {
public:
    explicit IniStore(QString path);

    const QString& path() const { return path_; }

    // The file as it is now, for a reader that takes many values in one go
    // (the board's restore): the same answers as the reads below, from one
    // reading of the file.
    class Snapshot {
    public:
        QString readString(const QString& section, const QString& key, const QString& def) const;
        qint32 readInteger(const QString& section, const QString& key, qint32 def) const;

    private:
        friend class IniStore;
        void index();
        // The value of the key whose folded "section\0key" is `name`; nothing when it is missing.
        std::optional<QByteArrayView> find(QByteArrayView name) const;
        struct Entry {
            size_t hash;
            qsizetype nameBegin;  // in names_
            qsizetype nameSize;
            qsizetype valueBegin;  // in file_
            qsizetype valueEnd;
        };
        QByteArray file_;
        // Where each key's value stands, by the folded section and key names: the file is
        // scanned once, not once per value asked for. The names lie one after another in one
        // buffer and the table holds positions in entries_ plus one (0 for a free place), so
        // a file's scan allocates a handful of blocks, not one per key.
        QByteArray names_;
        QList<Entry> entries_;
        QList<qint32> table_;
    };
    Snapshot snapshot() const;

    QString readString(const QString& section, const QString& key, const QString& def) const;
    void writeString(const QString& section, const QString& key, const QString& value);
    qint32 readInteger(const QString& section, const QString& key, qint32 def) const;
    // One value to set, for applying many changes to the file in one replacement.
    struct Change {
        QString section;
        QString key;
        QString value;
    };
    // Several values in one replacement of the file: all of them are written
    // or, when one cannot be, none.
    void writeStrings(const QList<Change>& changes);
    void writeInteger(const QString& section, const QString& key, qint32 value);

    // Raises IniValueError for a change that cannot be written on one line.
    static void checkWritable(const Change& change);
    // `file` with every change applied in order, each as writeString would apply it.
    static QByteArray withChanges(const QByteArray& file, const QList<Change>& changes);
    // The file's bytes; empty for a missing file. Raises IniWriteError when it cannot be read.
    QByteArray bytes() const;
    // Replaces the whole file atomically with `bytes`. Without the directory's flush a power
    // cut may bring back an earlier file; syncDirectory() makes the last one durable. Both
    // raise IniWriteError.
    void replace(const QByteArray& bytes, bool syncDirectory = true);
    void syncDirectory();

private:
    struct LastRead {
        std::mutex lock;
        Snapshot snapshot;
    };
    QString path_;
    // Shared by copies, which read the same file.
    std::shared_ptr<LastRead> last_ = std::make_shared<LastRead>();
};
