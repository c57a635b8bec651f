#pragma once

#include <QString>
#include <memory>

class Database;
class IniStore;
class OutboxSender;

// `Central` in TavolenConfig.ini: `Enabled` (0/1), `Connection` (a libpq connection string;
// the password from a file readable by the program only, `passfile=...`, or from ~/.pgpass),
// `Site` (the site's id, created at the first start and kept).
struct CentralSettings {
    bool enabled = false;
    QString connection;
    QString site;

    static CentralSettings read(const IniStore& ini);
};

// When the central ledger is enabled: gives the site its id if it has none (written to the
// file), installs the outbox in the desk's database and returns the sender, not yet started.
// Null when it is not enabled. Raises TavolenError (a bad connection string, a database that
// cannot take the outbox).
std::unique_ptr<OutboxSender> makeOutboxSender(IniStore& ini, Database& db);
