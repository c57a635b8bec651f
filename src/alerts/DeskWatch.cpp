#include "alerts/DeskWatch.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {
QString json(const QJsonObject& o) {
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}
}  // namespace

QList<DeskWatch::Alert> DeskWatch::check(const Facts& facts) {
    QList<Alert> raised;
    const bool silent =
        facts.roomsInStay && facts.lineSilentSeconds > qint64(lineSilentMinutes_) * 60;
    if (silent && !lineSilent_)
        raised.append({QStringLiteral("line_silent"),
                       json({{QStringLiteral("minutes"), lineSilentMinutes_}})});
    // Rooms all checked out end the silence as a report does.
    lineSilent_ = silent;

    const bool storage = !facts.storageWarning.isEmpty();
    if (storage && !storageFailing_)
        raised.append({QStringLiteral("storage_warning"),
                       json({{QStringLiteral("text"), facts.storageWarning}})});
    storageFailing_ = storage;

    const bool central = !facts.centralProblem.isEmpty();
    if (central && !centralFailing_)
        raised.append({QStringLiteral("central_stopped"),
                       json({{QStringLiteral("text"), facts.centralProblem}})});
    centralFailing_ = central;
    return raised;
}
