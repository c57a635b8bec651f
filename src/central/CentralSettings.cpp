#include "central/CentralSettings.h"

#include <QUuid>

#include "central/OutboxSender.h"
#include "central/PgConnection.h"
#include "store/Database.h"
#include "store/IniStore.h"
#include "store/Outbox.h"

namespace {
const QString kSection = QStringLiteral("Central");
}

CentralSettings CentralSettings::read(const IniStore& ini) {
    CentralSettings s;
    s.enabled = ini.readInteger(kSection, QStringLiteral("Enabled"), 0) == 1;
    s.connection = ini.readString(kSection, QStringLiteral("Connection"), QString()).trimmed();
    s.site = ini.readString(kSection, QStringLiteral("Site"), QString()).trimmed();
    return s;
}

std::unique_ptr<OutboxSender> makeOutboxSender(IniStore& ini, Database& db) {
    CentralSettings settings = CentralSettings::read(ini);
    if (!settings.enabled) return nullptr;
    const QString problem = PgConnection::checkConnectionString(settings.connection);
    if (!problem.isEmpty()) throw TavolenError(problem);
    if (settings.site.isEmpty()) {
        settings.site = QUuid::createUuid().toString(QUuid::Id128).left(12);
        ini.writeString(kSection, QStringLiteral("Site"), settings.site);
    }
    outbox::install(db.connection());
    OutboxSender::Options options;
    options.databasePath = db.path();
    options.connection = settings.connection;
    options.site = settings.site;
    options.siteName = ini.readString(QStringLiteral("Motel"), QStringLiteral("CoName"), QString());
    return std::make_unique<OutboxSender>(options);
}
