#include "store/Installation.h"

#include <QStringList>
#include <exception>

#include "platform/Errors.h"
#include "store/AliasRegistry.h"
#include "store/IniStore.h"

namespace installation {

namespace {
const QString kSection = QStringLiteral("Setup");
const QString kKey = QStringLiteral("Date");

bool iniSaysSetUp(const IniStore& ini) {
    try {
        return !ini.readString(kSection, kKey, QString()).trimmed().isEmpty();
    } catch (const std::exception&) {
        return true;
    }
}

bool registrySaysSetUp(const AliasRegistry& aliases, const QString& dataDir) {
    try {
        return aliases.isSetUp(dataDir);
    } catch (const std::exception&) {
        return true;
    }
}
}  // namespace

bool isSetUp(const IniStore& ini, const AliasRegistry& aliases, const QString& dataDir) {
    return iniSaysSetUp(ini) || registrySaysSetUp(aliases, dataDir);
}

void recordSetUp(IniStore& ini, AliasRegistry& aliases, const QString& dataDir,
                 const QDateTime& when) {
    const QString stamp = when.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    QStringList failures;
    try {
        if (ini.readString(kSection, kKey, QString()).trimmed().isEmpty())
            ini.writeString(kSection, kKey, stamp);
    } catch (const std::exception& e) {
        failures << errorText(e);
    }
    try {
        aliases.recordSetUp(dataDir, stamp);
    } catch (const std::exception& e) {
        failures << errorText(e);
    }
    if (!failures.isEmpty()) throw TavolenError(failures.join(QStringLiteral(" / ")));
}

}  // namespace installation
