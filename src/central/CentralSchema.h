#pragma once

#include <QString>

class PgConnection;

// The central ledger's schema `tavolen` in the group's PostgreSQL database: the sites, the
// raw changes each site sent (`change`, one row per outbox row, keyed by (site, seq)) and the
// history and ledger tables the changes produce as they arrive (`history`, `ledger`: the rows
// the desk holds; `history_kept`, `ledger_kept`: rows the desk purged after its retention,
// which the group keeps), and each site's day-use and overnight sums by the hour its stays
// began (`ledger_hour`), kept by the database as the ledger changes, the trail of desk actions
// (`audit`) and each site's last heartbeat (`heartbeat`, the server's time). A site's role sees
// only its own site's rows; the role `tavolen_group` sees every site.
namespace centralSchema {

// The newest version this program knows.
int latestVersion();
// The version the database is at; 0 before the first migration.
int currentVersion(PgConnection& pg);
// Brings the schema up to version `upTo` (the latest unless an older one is asked for), in
// one transaction, one program at a time. Returns the versions applied. Raises CentralError.
int migrate(PgConnection& pg, int upTo = latestVersion());
// Creates `role` (a login role without a password) when it is missing, lets it send and read
// `site`'s rows only, and creates the site's row. Raises CentralError.
void grantSite(PgConnection& pg, const QString& site, const QString& role);

}  // namespace centralSchema
