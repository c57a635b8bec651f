#pragma once

#include <QString>

// The named database locations of this PC's user: a small INI file
// (tavolen/aliases.ini in the XDG configuration directory) with one section
// per name and the location's directory as its PATH. The board's "Motel"
// location is written once, on the first start.
class AliasRegistry {
public:
    // The registry file under $XDG_CONFIG_HOME, or ~/.config when unset.
    AliasRegistry();
    explicit AliasRegistry(QString registryPath);

    const QString& path() const { return path_; }

    // True when it had to add "Motel" (data directory + "DB"), false when the
    // name was there already, which changes nothing. Raises TavolenError
    // when the registry cannot be read or written.
    bool ensureMotelLocation(const QString& dataDir);

    // The installation's set-up mark, kept with the "Motel" location as
    // SETUP=<when>: true when "Motel" names this data directory and carries
    // it. Raises TavolenError when the registry cannot be read.
    bool isSetUp(const QString& dataDir) const;
    // Marks "Motel" set up when it names this data directory (else nothing:
    // the location belongs to another installation). Raises TavolenError.
    void recordSetUp(const QString& dataDir, const QString& when);

private:
    QByteArray read() const;
    void write(const QByteArray& file) const;

    QString path_;
};
