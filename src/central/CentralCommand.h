#pragma once

#include <QStringList>

// The group's central ledger from the command line:
//
//   tavolen [--data-dir DIR] central init [--connection CONNINFO]
//   tavolen [--data-dir DIR] central grant SITE ROLE [--connection CONNINFO]
//   tavolen [--data-dir DIR] central report day YYYY-MM-DD|month YYYY-MM [--hour H]
//           [--trail] --out FILE [--connection CONNINFO]
//   tavolen central watch --minutes N --settings FILE [--connection CONNINFO]
//
// The connection is CONNINFO, or else `Central`/`Connection` of the data directory's
// TavolenConfig.ini (for the watch: of its settings FILE), or else libpq's own defaults
// (PGHOST, PGUSER, ... and ~/.pgpass). The hour is H, or else `CashTime`/`start` of that file,
// or else 0. --trail adds the desks' trail of actions of the month, per site. Runs without a
// display.

// True when the first word that is not an option is "central".
bool isCentralCommand(const QStringList& args);

// `args` are the program's arguments without the program name. Returns the exit code: 0
// done, 1 an alert of the watch that must wait for its next run, 2 a bad request or a failure
// (said on standard error).
int runCentralCommand(const QStringList& args);
