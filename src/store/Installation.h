#pragma once

#include <QDateTime>
#include <QString>

class AliasRegistry;
class IniStore;

// Whether this installation was set up, that is whether a first start created
// its database. The mark is kept outside the database, in two places, so that
// a database that goes missing later is never taken for a new one (which would
// bring back the published default passwords): `Setup`/`Date` in
// TavolenConfig.ini, and SETUP with the "Motel" location of the alias registry.
namespace installation {

// Either place says so. A place that cannot be read counts as saying so: a
// doubt never brings the default passwords back.
bool isSetUp(const IniStore& ini, const AliasRegistry& aliases, const QString& dataDir);

// Marks both places that are not marked yet. Raises TavolenError naming what
// could not be written; what could is kept.
void recordSetUp(IniStore& ini, AliasRegistry& aliases, const QString& dataDir,
                 const QDateTime& when);

}  // namespace installation
