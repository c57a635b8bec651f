#include "central/CentralWatch.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <atomic>
#include <map>

#include "alerts/AlertDelivery.h"
#include "alerts/AlertMessage.h"
#include "central/CentralSchema.h"
#include "central/PgConnection.h"
#include "settlement/Report.h"

namespace {

// The longest site id and name taken from the server; a desk names its own site.
constexpr int kLongestText = 100;
// The state of a thousand sites is far smaller; anything larger is not ours.
constexpr qint64 kLargestState = 4 * 1024 * 1024;

// What the watch last judged of a site, and which ways were told it is silent.
struct SiteState {
    bool silent = false;
    qint64 since = 0;  // the last sign of life before the silence
    QStringList toldSilent;
};

using State = std::map<QString, SiteState>;

// Holds the lock beside the state file for the run's life; `held` is false when another run
// has it.
class RunLock {
public:
    explicit RunLock(const QString& path)
        : fd_(::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
        if (fd_ < 0)
            throw TavolenError(QStringLiteral("감시 상태의 잠금 파일을 열 수 없습니다: ") + path);
        held = ::flock(fd_, LOCK_EX | LOCK_NB) == 0;
    }
    ~RunLock() { ::close(fd_); }
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;
    bool held = false;

private:
    int fd_;
};

// Our own file, read like any input: what does not fit is left out, and the sites it named
// are judged afresh.
State readState(const QString& path, QStringList& problems) {
    State state;
    QFile file(path);
    if (!file.exists()) return state;
    if (!file.open(QIODevice::ReadOnly) || file.size() > kLargestState) {
        problems << QStringLiteral("감시 상태 파일을 읽을 수 없어 새로 시작합니다: ") + path;
        return state;
    }
    const QJsonObject sites =
        QJsonDocument::fromJson(file.readAll()).object().value(QStringLiteral("sites")).toObject();
    for (auto i = sites.begin();
         i != sites.end() && state.size() < size_t(centralWatch::kMostSites); ++i) {
        const QJsonObject o = i.value().toObject();
        SiteState s;
        s.silent = o.value(QStringLiteral("silent")).toBool();
        s.since = o.value(QStringLiteral("since")).toInteger();
        for (const QJsonValue& way : o.value(QStringLiteral("toldSilent")).toArray())
            if (way.toString() == QLatin1String("mail") ||
                way.toString() == QLatin1String("webhook"))
                s.toldSilent << way.toString();
        state[i.key().left(kLongestText)] = s;
    }
    return state;
}

void writeState(const QString& path, const State& state) {
    QJsonObject sites;
    for (const auto& [site, s] : state)
        sites[site] =
            QJsonObject{{QStringLiteral("silent"), s.silent},
                        {QStringLiteral("since"), s.since},
                        {QStringLiteral("toldSilent"), QJsonArray::fromStringList(s.toldSilent)}};
    replaceFileWith(path, QJsonDocument(QJsonObject{{QStringLiteral("sites"), sites}}).toJson());
}

// A value from the server put into a mail: no control characters, bounded.
QString plain(const QString& text) { return shownServerText(text, kLongestText); }

QString shownTime(qint64 ms) {
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

struct Seen {
    QString site, caption;
    qint64 lastMs = -1;  // -1: never heard from
};

// Every visible site's last sign of life (its last change or heartbeat, by the server's
// clock) and the server's time now.
std::vector<Seen> readSites(PgConnection& pg, qint64& serverNowMs, QStringList& problems) {
    if (centralSchema::currentVersion(pg) < 4)
        throw CentralError(QStringLiteral("중앙 스키마에 하트비트가 없습니다: 먼저 tavolen "
                                          "central init을 실행하십시오"),
                           QStringLiteral("TVCFG"));
    const PgResult r = pg.exec(
        QStringLiteral("SELECT s.site, s.name, (extract(epoch FROM greatest(s.last_received_at, "
                       "h.at)) * 1000)::bigint, (extract(epoch FROM "
                       "pg_catalog.clock_timestamp()) * 1000)::bigint "
                       "FROM tavolen.site s LEFT JOIN tavolen.heartbeat h ON h.site = s.site "
                       "WHERE pg_catalog.length(s.site) <= $1::integer "
                       "ORDER BY s.site LIMIT $2::integer"),
        {QString::number(kLongestText), QString::number(centralWatch::kMostSites + 1)});
    std::vector<Seen> sites;
    bool ok = false;
    serverNowMs = r.rows() > 0 ? r.text(0, 3).toLongLong(&ok) : QDateTime::currentMSecsSinceEpoch();
    if (r.rows() > 0 && !ok)
        throw CentralError(QStringLiteral("중앙 서버의 시각을 읽을 수 없습니다: ") + r.text(0, 3));
    for (int i = 0; i < std::min(r.rows(), centralWatch::kMostSites); ++i) {
        Seen s;
        s.site = r.text(i, 0);
        const QString name = plain(r.text(i, 1));
        s.caption =
            name.isEmpty() ? plain(s.site) : QStringLiteral("%1 (%2)").arg(name, plain(s.site));
        if (!r.isNull(i, 2)) {
            s.lastMs = r.text(i, 2).toLongLong(&ok);
            if (!ok || s.lastMs < 0) s.lastMs = -1;
        }
        sites.push_back(s);
    }
    if (r.rows() > centralWatch::kMostSites)
        problems << QStringLiteral("사이트가 %1곳을 넘어 나머지는 감시하지 않았습니다")
                        .arg(centralWatch::kMostSites);
    return sites;
}

}  // namespace

QString centralWatch::Outcome::summary(qint64 silentAfterMs) const {
    if (busy) return QStringLiteral("central watch: another run is still sending; nothing done");
    QString line = QStringLiteral("central watch: %1 sites, %2 silent over %3 min, %4 alerts sent")
                       .arg(sites)
                       .arg(silent)
                       .arg(silentAfterMs / 60000.0)
                       .arg(sent);
    if (failed > 0) line += QStringLiteral(", %1 failed (tried again next run)").arg(failed);
    if (unheard > 0) line += QStringLiteral(", %1 never heard from").arg(unheard);
    return line;
}

centralWatch::Outcome centralWatch::run(PgConnection& pg, const Options& options, qint64 nowMs) {
    Outcome outcome;
    RunLock lock(options.statePath + QStringLiteral(".lock"));
    if (!lock.held) {
        outcome.busy = true;
        return outcome;
    }
    State state = readState(options.statePath, outcome.problems);
    qint64 serverNowMs = 0;
    const std::vector<Seen> sites = readSites(pg, serverNowMs, outcome.problems);
    const qint64 now = nowMs > 0 ? nowMs : serverNowMs;
    QStringList ways;
    if (options.settings.mails()) ways << QStringLiteral("mail");
    if (options.settings.posts()) ways << QStringLiteral("webhook");

    const std::atomic<bool> stopping{false};
    State next;
    for (const Seen& seen : sites) {
        if (seen.lastMs < 0) {
            ++outcome.unheard;
            continue;
        }
        ++outcome.sites;
        SiteState& s = next[seen.site] = state[seen.site];
        const bool silent = now - seen.lastMs > options.silentAfterMs;
        if (silent && !s.silent) s.since = seen.lastMs;
        s.silent = silent;
        outcome.silent += silent ? 1 : 0;
        for (const QString& way : ways) {
            if (s.toldSilent.contains(way) == silent) continue;
            const qint64 minutes = ((silent ? now : seen.lastMs) - s.since) / 60000;
            const QJsonObject detail{{QStringLiteral("site"), seen.caption},
                                     {QStringLiteral("minutes"), minutes},
                                     {QStringLiteral("lastSeen"), shownTime(s.since)}};
            alertQueue::Batch batch{way, QLatin1String(silent ? "site_silent" : "site_back"), {}};
            batch.events.append(
                {0, shownTime(now),
                 QString::fromUtf8(QJsonDocument(detail).toJson(QJsonDocument::Compact))});
            const AlertMessage message = AlertMessage::compose(options.settings, batch);
            const QString failed =
                way == QLatin1String("mail")
                    ? alertDelivery::sendMail(
                          options.settings,
                          message.mail(options.settings, QDateTime::currentDateTime()),
                          options.transferSeconds, stopping)
                    : alertDelivery::post(options.settings, message.json(options.settings),
                                          options.transferSeconds, stopping);
            if (!failed.isEmpty()) {
                ++outcome.failed;
                outcome.problems << QStringLiteral("%1 알림을 보내지 못했습니다 (%2): %3")
                                        .arg(plain(seen.site), way, failed);
                continue;
            }
            ++outcome.sent;
            if (silent)
                s.toldSilent << way;
            else
                s.toldSilent.removeAll(way);
            // Kept at once: a run cut short after this does not tell it again.
            state[seen.site] = s;
            writeState(options.statePath, state);
        }
    }
    // Sites no longer on the server, or never heard from, are forgotten.
    writeState(options.statePath, next);
    return outcome;
}
