#include "web/WebTrail.h"

#include <sqlite3.h>

#include <QDir>
#include <memory>

#include "audit/AuditTrail.h"
#include "platform/Errors.h"

namespace {

QByteArray escaped(const QString& text) { return text.toHtmlEscaped().toUtf8(); }

}  // namespace

QByteArray webTrail::page(const QByteArray& page, const QString& dataDir) {
    const QString path = QDir(dataDir).filePath(QStringLiteral("DB/motel.db"));
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &raw, SQLITE_OPEN_READONLY, nullptr);
    const std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(raw, sqlite3_close_v2);
    if (rc != SQLITE_OK)
        throw TavolenError(QStringLiteral("데이터베이스를 읽을 수 없습니다: ") +
                           QString::fromUtf8(sqlite3_errmsg(raw)));
    sqlite3_busy_timeout(raw, 2000);
    QByteArray html;
    QString day;
    for (const audit::Row& row : audit::newest(raw, kShownRows)) {
        if (row.at.left(10) != day) {
            if (!day.isEmpty()) html += "</tbody></table>\n";
            day = row.at.left(10);
            html += "<h2>" + escaped(day) +
                    "</h2>\n<table class=\"trail\"><thead><tr><th>시각</th><th>등급</th>"
                    "<th>작업</th><th>내용</th></tr></thead><tbody>\n";
        }
        html += "<tr><td>" + escaped(row.at.mid(11)) + "</td><td>" +
                escaped(audit::gradeText(row.grade)) + "</td><td>" +
                escaped(audit::actionText(row.action)) + "</td><td>" +
                escaped(row.detail == QLatin1String("{}") ? QString() : row.detail) +
                "</td></tr>\n";
    }
    html += day.isEmpty() ? QByteArray("<p>기록이 없습니다.</p>") : QByteArray("</tbody></table>");
    QByteArray result = page;
    return result.replace("<!--trail-->", html);
}
