#include "app/ReportCommand.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QStringList>
#include <cstdio>

#include "app/CommandLine.h"
#include "settlement/Report.h"
#include "settlement/Settlement.h"
#include "settlement/ui/MonthChart.h"
#include "store/Database.h"
#include "store/IniStore.h"

namespace {

struct Request {
    QString dataDir;
    QString kind;
    QString period;
    int hour = -1;
    QString out;
};

int fail(const QString& message) {
    std::fprintf(stderr, "tavolen report: %s\n", message.toLocal8Bit().constData());
    return 2;
}

// The command line has been read (options checked); what is left are the
// report's own rules. Returns an error text or empty.
QString readRequest(const CommandLine& line, Request& r) {
    r.dataDir = line.value(QStringLiteral("data-dir"));
    r.kind = line.arguments.value(0);
    r.period = line.arguments.value(1);
    r.out = line.value(QStringLiteral("out"));
    if (line.has(QStringLiteral("hour"))) r.hour = line.value(QStringLiteral("hour")).toInt();
    if (r.kind != QStringLiteral("day") && r.kind != QStringLiteral("month"))
        return QStringLiteral("unknown report '%1' (day or month)").arg(r.kind);
    if (r.out.isEmpty()) return QStringLiteral("--out FILE is missing");
    const QString suffix = QFileInfo(r.out).suffix().toLower();
    if (!QStringList{QStringLiteral("xlsx"), QStringLiteral("xls"), QStringLiteral("pdf"),
                     QStringLiteral("csv")}
             .contains(suffix))
        return QStringLiteral("unknown file type '%1' (.xlsx, .xls, .pdf or .csv)").arg(r.out);
    return QString();
}

void substituteFonts() {
    QFont::insertSubstitutions(QStringLiteral("굴림체"), {QStringLiteral("NanumGothicCoding"),
                                                          QStringLiteral("NanumGothic")});
}

}  // namespace

int runReportCommand(const CommandLine& line, int& argc, char** argv) {
    Request request;
    const QString problem = readRequest(line, request);
    if (!problem.isEmpty()) {
        std::fputs(usageText().toLocal8Bit().constData(), stderr);
        return fail(problem);
    }
    // No display is needed; the chart and the PDF are drawn off screen.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    substituteFonts();
    const QString dataDir =
        request.dataDir.isEmpty() ? QApplication::applicationDirPath() : request.dataDir;
    if (!QFileInfo::exists(QDir(dataDir).filePath(QStringLiteral("DB/motel.db"))))
        return fail(QStringLiteral("no database in %1 (DB/motel.db)").arg(dataDir));

    try {
        Database db(dataDir);
        db.open();
        const IniStore ini(QDir(dataDir).filePath(QStringLiteral("TavolenConfig.ini")));
        const int hour = request.hour >= 0 ? request.hour : settlementSettings::hour(ini);
        SettlementReport report;
        if (request.kind == QStringLiteral("day")) {
            const QDate date = QDate::fromString(request.period, QStringLiteral("yyyy-MM-dd"));
            if (!date.isValid())
                return fail(QStringLiteral("bad date '%1' (YYYY-MM-DD)").arg(request.period));
            DailySettlement day;
            day.fill(ledger::readStays(db.connection(), settlementDayFrom(date, hour),
                                       StayOrder::ByRoom));
            report = SettlementReport::daily(date, day);
        } else {
            const QDate first = QDate::fromString(request.period + QStringLiteral("-01"),
                                                  QStringLiteral("yyyy-MM-dd"));
            if (!first.isValid())
                return fail(QStringLiteral("bad month '%1' (YYYY-MM)").arg(request.period));
            const MonthSums sums =
                ledger::readMonth(db.connection(), first.year(), first.month(), hour, false);
            report = SettlementReport::monthly(
                QStringLiteral("%1-%2").arg(first.year()).arg(first.month()), sums);
        }
        ChartPainter chart;
        if (report.month)
            chart = [&](QPainter& p, const QRectF& r) { paintMonthChart(p, r, *report.month); };
        writeReport(report, request.out, chart);
        std::printf("%s: %zu lines\n", request.out.toLocal8Bit().constData(), report.grid.size());
    } catch (const std::exception& e) {
        return fail(errorText(e));
    }
    return 0;
}
