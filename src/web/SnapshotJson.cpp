#include "web/SnapshotJson.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QString cssColor(WinColor c) { return toQColor(c).name(); }

QString minute(const QDateTime& t) {
    return t.isValid() ? t.toString(QStringLiteral("yyyy-MM-dd HH:mm")) : QString();
}

QString withoutDataDir(QString text, const QString& dataDir) {
    if (dataDir.isEmpty()) return text;
    for (const QString& dir : {QDir::cleanPath(dataDir), QFileInfo(dataDir).canonicalFilePath()}) {
        if (dir.isEmpty() || dir == QLatin1String("/")) continue;
        text.replace(dir + u'/', QString());
        text.replace(dir, QStringLiteral("데이터 폴더"));
    }
    return text;
}

}  // namespace

QByteArray snapshotJson(const BoardSnapshot& s, const QString& dataDir) {
    QJsonArray rooms;
    for (const BoardSnapshot::Room& r : s.rooms)
        rooms.append(QJsonObject{
            {"slot", r.slot},
            {"number", r.number},
            {"state", roomStateKey(r.state)},
            {"kind", stayKindKey(r.kind)},
            {"door", r.doorOpen},
            {"start", minute(r.stayStart)},
            {"elapsed", r.elapsedMinutes},
            {"checkout", r.checkoutTime},
            {"call", r.morningCall},
            {"back", cssColor(r.labelColor)},
            {"fore", cssColor(r.labelFontColor)},
        });
    QJsonArray log;
    for (const BoardSnapshot::LogLine& l : s.logTail)
        log.append(QJsonObject{{"text", l.text}, {"color", cssColor(l.color)}});
    const QJsonObject o{
        {"type", "snapshot"},
        {"sequence", QString::number(s.sequence)},
        {"takenAt", s.takenAt.isValid() ? double(s.takenAt.toMSecsSinceEpoch()) : 0.0},
        {"business", s.businessName},
        {"rooms", rooms},
        {"log", log},
        {"controller", QJsonObject{{"connected", s.controllerConnected},
                                   {"port", s.controllerPort},
                                   {"lastReport", s.lastControllerReport.isValid()
                                                      ? s.lastControllerReport.toString(
                                                            QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                                                      : QString()}}},
        {"storageWarning", withoutDataDir(s.storageWarning, dataDir)},
        {"notice", withoutDataDir(s.notice, dataDir)},
        {"central", s.centralLink.isEmpty()
                        ? QJsonValue()
                        : QJsonObject{{"text", s.centralLink}, {"healthy", s.centralLinkHealthy}}},
    };
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}
