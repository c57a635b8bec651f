#pragma once

#include <QString>
#include <QStringList>

#include "alerts/AlertSettings.h"

class PgConnection;

// `tavolen central watch`: run beside the central server from the administrator's timer, it
// tells the owner about each desk that has said nothing (no change, no heartbeat) for longer
// than a limit, once per silence, and once more when the desk is back, through the `[Alert]`
// ways of its own settings file.
//
// What it already told is kept in a small file of its own beside the settings (`statePath`),
// not on the server: the watch then needs only the group's read-only role, and a server that
// is down loses nothing. For each site and way it holds whether that way was last told the
// site is silent; a run sends wherever that differs from what the site is now, so an alert
// that could not go is sent by the next run, and a silence that ends before its alert went
// out is never told at all. The file is replaced whole after each alert that went, and a lock
// beside it keeps a second run from sending the same alert while a slow one still sends.
namespace centralWatch {

struct Options {
    qint64 silentAfterMs = 30 * 60 * 1000;
    AlertSettings settings;
    QString statePath;
    int transferSeconds = 30;
};

struct Outcome {
    int sites = 0;      // sites watched
    int silent = 0;     // of them silent now
    int unheard = 0;    // sites that never said anything (not watched)
    int sent = 0;       // alerts that went, counting each way
    int failed = 0;     // alerts that could not go; tried again by the next run
    bool busy = false;  // another run held the lock: nothing done
    QStringList problems;

    // One line for the administrator's log.
    QString summary(qint64 silentAfterMs) const;
    // 0 when everything owed was told, 1 when an alert must wait for the next run.
    int exitCode() const { return failed > 0 ? 1 : 0; }
};

// The most sites one run reads; a group larger than this is refused by name.
constexpr int kMostSites = 1000;

// One look at every site the connection may see, at `nowMs` (ms since 1970; the server's clock
// when 0), sending what is owed. Raises CentralError (the server) and TavolenError (the state
// file cannot be written).
Outcome run(PgConnection& pg, const Options& options, qint64 nowMs = 0);

}  // namespace centralWatch
