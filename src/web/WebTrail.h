#pragma once

#include <QByteArray>
#include <QString>

// The owner's page of the trail of desk actions: the newest rows, by day, newest first, with the
// grade and the action in Korean. Read on a connection of its own, opened read-only for each
// showing, on a worker thread. Raises TavolenError when the database cannot be read.
namespace webTrail {

constexpr int kShownRows = 500;

// `page` with its "<!--trail-->" replaced by the rows.
QByteArray page(const QByteArray& page, const QString& dataDir);

}  // namespace webTrail
