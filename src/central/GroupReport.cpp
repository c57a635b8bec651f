#include "central/GroupReport.h"

#include <sqlite3.h>
#include <xlsxwriter.h>

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QPdfWriter>
#include <map>
#include <memory>
#include <set>
#include <tuple>

#include "audit/AuditTrail.h"
#include "board/RoomState.h"
#include "central/PgConnection.h"
#include "settlement/NumberFormat.h"
#include "settlement/Report.h"
#include "settlement/Settlement.h"
#include "settlement/SettlementWindow.h"

namespace {

struct Closer {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using MemoryDb = std::unique_ptr<sqlite3, Closer>;

void exec(sqlite3* db, const char* sql) {
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        throw ReportError(QString::fromUtf8(sqlite3_errmsg(db)));
}

// A site's ledger rows of the period in a database of the desk's own shape, for the desk's
// own settlement code to read.
class SiteLedger {
public:
    SiteLedger() {
        sqlite3* raw = nullptr;
        sqlite3_open_v2(":memory:", &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        db_.reset(raw);
        exec(raw, R"(CREATE TABLE "Cash.DB" (roomNum TEXT, IDateTime TEXT,
                     ODateTime TEXT DEFAULT '', Action TEXT, Cash TEXT))");
        exec(raw, R"(CREATE INDEX "cash_settlement" ON "Cash.DB" (IDateTime, Action, Cash))");
        exec(raw, "BEGIN");
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(raw,
                           R"(INSERT INTO "Cash.DB" (roomNum, IDateTime, ODateTime, Action, Cash)
                              VALUES (?1, ?2, ?3, ?4, ?5))",
                           -1, &insert, nullptr);
        insert_.reset(insert);
    }
    void add(const PgResult& rows, int row) {
        std::vector<QByteArray> keep;
        for (int c = 0; c < 5; ++c) {
            if (rows.isNull(row, c + 1)) {
                sqlite3_bind_null(insert_.get(), c + 1);
                continue;
            }
            keep.push_back(rows.text(row, c + 1).toUtf8());
            sqlite3_bind_text(insert_.get(), c + 1, keep.back().constData(),
                              int(keep.back().size()), SQLITE_TRANSIENT);
        }
        sqlite3_step(insert_.get());
        sqlite3_reset(insert_.get());
    }
    sqlite3* done() {
        insert_.reset();
        exec(db_.get(), "COMMIT");
        return db_.get();
    }

private:
    MemoryDb db_;
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> insert_{nullptr, sqlite3_finalize};
};

// The ledger rows whose stay began in [$1, $2): the rows the desks hold and the ones they
// purged, which the group keeps.
const char kLedgerRows[] =
    "SELECT site, roomnum, idatetime, odatetime, action, cash FROM tavolen.ledger "
    "WHERE idatetime >= $1 AND idatetime < $2 UNION ALL "
    "SELECT site, roomnum, idatetime, odatetime, action, cash FROM tavolen.ledger_kept "
    "WHERE idatetime >= $1 AND idatetime < $2";

// The largest sum of a site's day taken from the server: far above any motel's, and small
// enough that the report's totals of every site and day cannot overflow.
constexpr qint64 kLargestSum = 1'000'000'000'000;

// A text[] literal; every element quoted.
QString textArray(const QStringList& values) {
    QStringList quoted;
    for (QString v : values) {
        v.replace(u'\\', QStringLiteral("\\\\"));
        v.replace(u'"', QStringLiteral("\\\""));
        quoted << u'"' + v + u'"';
    }
    return u'{' + quoted.join(u',') + u'}';
}

// More sites than a group has: the report refuses them rather than add up totals that might
// not fit (each site's month is bounded, their sum over this many is not).
constexpr int kMaxSites = 10000;

std::vector<SiteFigures> readSites(PgConnection& pg) {
    const PgResult r = pg.exec(
        QStringLiteral(
            "SELECT site, name, last_seq, pg_catalog.to_char(last_received_at AT TIME ZONE "
            "pg_catalog.current_setting('TimeZone'), 'YYYY-MM-DD HH24:MI:SS') FROM tavolen.site "
            "ORDER BY site LIMIT $1::integer"),
        {QString::number(kMaxSites + 1)});
    if (r.rows() > kMaxSites)
        throw ReportError(
            QStringLiteral(
                "중앙 서버가 사이트를 %1곳보다 많이 보냈습니다: 보고서를 만들지 않습니다")
                .arg(kMaxSites));
    std::vector<SiteFigures> sites;
    for (int i = 0; i < r.rows(); ++i) {
        SiteFigures s;
        s.site = r.text(i, 0);
        s.name = r.text(i, 1);
        s.lastSeq = r.text(i, 2).toLongLong();
        s.lastReceived = QDateTime::fromString(r.text(i, 3), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        sites.push_back(s);
    }
    return sites;
}

// Every visible site's rows whose stay began in [from, to): the rows the desk holds and the
// ones it purged, which the group keeps.
std::map<QString, SiteLedger> readLedgers(PgConnection& pg, const std::vector<SiteFigures>& sites,
                                          const QString& from, const QString& to) {
    std::map<QString, SiteLedger> ledgers;
    if (sites.empty()) return ledgers;
    QStringList names;
    for (const SiteFigures& s : sites) {
        ledgers[s.site];
        names << s.site;
    }
    const PgResult rows =
        pg.exec(QStringLiteral("SELECT site, roomnum, idatetime, odatetime, action, cash FROM "
                               "(%1) t WHERE site = ANY($3::text[])")
                    .arg(QString::fromLatin1(kLedgerRows)),
                {from, to, textArray(names)});
    for (int i = 0; i < rows.rows(); ++i) {
        const auto found = ledgers.find(rows.text(i, 0));
        if (found != ledgers.end()) found->second.add(rows, i);
    }
    return ledgers;
}

QString siteCaption(const SiteFigures& s) {
    return s.name.isEmpty() ? s.site : QStringLiteral("%1 (%2)").arg(s.name, s.site);
}

QString lastReceived(const SiteFigures& s) {
    if (!s.lastReceived.isValid()) return QStringLiteral("수신 없음");
    return s.lastReceived.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString number(qint64 n) { return QString::number(n); }

bool isDigits(const QString& s) {
    if (s.isEmpty() || s.size() > 15) return false;
    for (QChar c : s)
        if (!c.isDigit()) return false;
    return true;
}

void writeCsv(const GroupReport& report, const QString& path) {
    QByteArray out = kCsvStart + csvField(report.title).toUtf8() + "\r\n";
    for (const QStringList& row : report.rows) {
        QStringList fields;
        for (const QString& cell : row) fields << csvField(cell);
        out += fields.join(u',').toUtf8() + "\r\n";
    }
    replaceFileWith(path, out);
}

// The workbook written to `temporary`; messages name `path`, the file it becomes.
void writeXlsxTo(const GroupReport& report, const QString& temporary, const QString& path) {
    const QByteArray file = QFile::encodeName(temporary);
    lxw_workbook* book = workbook_new(file.constData());
    if (!book) throw ReportError(QStringLiteral("파일을 저장할 수 없습니다: %1").arg(path));
    const QByteArray sheetName = QStringLiteral("그룹결산").toUtf8();
    lxw_worksheet* sheet = workbook_add_worksheet(book, sheetName.constData());
    lxw_format* amount = workbook_add_format(book);
    format_set_num_format(amount, "#,##0");
    lxw_format* bold = workbook_add_format(book);
    format_set_bold(bold);
    const QByteArray title = report.title.toUtf8();
    worksheet_write_string(sheet, 0, 0, title.constData(), bold);
    worksheet_set_column(sheet, 0, 0, 14, nullptr);
    worksheet_set_column(sheet, 1, lxw_col_t(std::max<size_t>(1, report.amountColumns.size())), 14,
                         nullptr);
    for (size_t r = 0; r < report.rows.size(); ++r) {
        const bool header = int(r) < report.headerRows;
        for (int c = 0; c < report.rows[r].size(); ++c) {
            const QString& cell = report.rows[r][c];
            if (cell.isEmpty()) continue;
            const bool isAmount = !header && size_t(c) < report.amountColumns.size() &&
                                  report.amountColumns[size_t(c)] && isDigits(cell);
            if (isAmount) {
                worksheet_write_number(sheet, lxw_row_t(r + 1), lxw_col_t(c), cell.toDouble(),
                                       amount);
            } else {
                const QByteArray text = cell.toUtf8();
                worksheet_write_string(sheet, lxw_row_t(r + 1), lxw_col_t(c), text.constData(),
                                       header ? bold : nullptr);
            }
        }
    }
    const lxw_error rc = workbook_close(book);
    if (rc != LXW_NO_ERROR)
        throw ReportError(QStringLiteral("파일을 저장할 수 없습니다: %1 (%2)")
                              .arg(path, QString::fromUtf8(lxw_strerror(rc))));
}

void paintPdf(const GroupReport& report, QPdfWriter& pdf) {
    pdf.setResolution(150);
    pdf.setTitle(report.title);
    pdf.setCreator(QStringLiteral("Tavolen"));
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageOrientation(QPageLayout::Landscape);
    pdf.setPageMargins(QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter);
    QPainter p;
    if (!p.begin(&pdf)) throw ReportError(QStringLiteral("보고서를 출력할 수 없습니다"));
    const int columns = std::max<int>(1, int(report.amountColumns.size()));
    const double width = pdf.width(), height = pdf.height();
    const double columnWidth = width / columns;
    // Small enough for every column of ten sites and the total on one landscape page.
    const double points = std::clamp(columnWidth / 12.0 / (150.0 / 72.0), 4.0, 10.0);
    QFont font(QStringLiteral("NanumGothic"));
    font.setPointSizeF(points);
    QFont boldFont = font;
    boldFont.setBold(true);
    const double line = QFontMetricsF(font, &pdf).height() * 1.4;
    p.setFont(boldFont);
    p.drawText(QRectF(0, 0, width, line * 1.5), Qt::AlignCenter, report.title);
    double y = line * 2;
    for (size_t r = 0; r < report.rows.size(); ++r) {
        if (y + line > height) {
            pdf.newPage();
            y = 0;
        }
        const bool header = int(r) < report.headerRows;
        p.setFont(header ? boldFont : font);
        for (int c = 0; c < report.rows[r].size(); ++c) {
            const QString& cell = report.rows[r][c];
            const bool isAmount = !header && size_t(c) < report.amountColumns.size() &&
                                  report.amountColumns[size_t(c)] && isDigits(cell);
            const QRectF box(c * columnWidth + 4, y, columnWidth - 8, line);
            p.drawText(box, (isAmount ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter,
                       isAmount ? numberFormat(cell) : cell);
        }
        y += line;
        if (int(r) + 1 == report.headerRows) p.drawLine(QPointF(0, y), QPointF(width, y));
    }
    p.end();
}

void writePdf(const GroupReport& report, const QString& path) {
    // Drawn in memory and written at once: through a buffered file, a last write that fails
    // would go unnoticed and leave a cut file behind.
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter pdf(&buffer);
        paintPdf(report, pdf);
    }
    replaceFileWith(path, buffer.data());
}

// One consistent read of the server. Left by an error, it is rolled back, so that the
// connection serves the next statement.
class ReadTransaction {
public:
    explicit ReadTransaction(PgConnection& pg) : pg_(pg) {
        pg_.exec(QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"));
    }
    ~ReadTransaction() {
        if (done_) return;
        try {
            pg_.exec(QStringLiteral("ROLLBACK"));
        } catch (const std::exception&) {
            // The connection is gone; there is nothing left to end.
        }
    }
    ReadTransaction(const ReadTransaction&) = delete;
    ReadTransaction& operator=(const ReadTransaction&) = delete;
    void commit() {
        pg_.exec(QStringLiteral("COMMIT"));
        done_ = true;
    }

private:
    PgConnection& pg_;
    bool done_ = false;
};

}  // namespace

GroupReport groupReport::day(PgConnection& pg, QDate date, int hour) {
    const SettlementWindow window = settlementDayFrom(date, hour);
    GroupReport report;
    ReadTransaction read(pg);
    report.sites = readSites(pg);
    auto ledgers = readLedgers(pg, report.sites, window.startStamp(), window.endStamp());
    read.commit();
    report.title = QStringLiteral("그룹 일합계 : %1 ~ %2")
                       .arg(window.start.toString(QStringLiteral("yyyy-MM-dd HH:mm")),
                            window.end.toString(QStringLiteral("yyyy-MM-dd HH:mm")));
    SiteFigures total;
    QStringList header{QStringLiteral("항목")};
    for (SiteFigures& s : report.sites) {
        DailySettlement settlement;
        settlement.fill(ledger::readStays(ledgers[s.site].done(), window, StayOrder::ByRoom));
        s.dayUse = settlement.dayUseSum();
        s.overnight = settlement.overnightSum();
        s.cancelled = settlement.cancelledSum();
        s.moved = settlement.movedSum();
        for (const LedgerStay& stay : settlement.stays())
            ++(stay.isDayUse() ? s.dayUseStays : s.overnightStays);
        total.dayUse += s.dayUse;
        total.overnight += s.overnight;
        total.cancelled += s.cancelled;
        total.moved += s.moved;
        total.dayUseStays += s.dayUseStays;
        total.overnightStays += s.overnightStays;
        header << siteCaption(s);
    }
    header << QStringLiteral("총합");
    report.rows.push_back(header);
    report.headerRows = 1;
    const auto line = [&](const QString& caption, auto value) {
        QStringList row{caption};
        for (const SiteFigures& s : report.sites) row << number(value(s));
        row << number(value(total));
        report.rows.push_back(row);
    };
    line(QStringLiteral("대실"), [](const SiteFigures& s) { return s.dayUse; });
    line(QStringLiteral("숙박"), [](const SiteFigures& s) { return s.overnight; });
    line(QStringLiteral("합계"), [](const SiteFigures& s) { return s.dayUse + s.overnight; });
    line(QStringLiteral("취소금액"), [](const SiteFigures& s) { return s.cancelled; });
    line(QStringLiteral("교체금액"), [](const SiteFigures& s) { return s.moved; });
    line(QStringLiteral("대실 건수"), [](const SiteFigures& s) { return qint64(s.dayUseStays); });
    line(QStringLiteral("숙박 건수"),
         [](const SiteFigures& s) { return qint64(s.overnightStays); });
    QStringList received{QStringLiteral("마지막 수신")};
    for (const SiteFigures& s : report.sites)
        received << QStringLiteral("%1 #%2").arg(lastReceived(s)).arg(s.lastSeq);
    received << QString();
    report.rows.push_back(received);
    report.amountColumns.assign(report.sites.size() + 2, true);
    report.amountColumns[0] = false;
    return report;
}

GroupReport groupReport::month(PgConnection& pg, int year, int month, int hour) {
    const QDate first(year, month, 1);
    if (!first.isValid())
        throw ReportError(QStringLiteral("잘못된 월입니다: %1-%2").arg(year).arg(month));
    const int days = first.daysInMonth();
    GroupReport report;
    ReadTransaction read(pg);
    report.sites = readSites(pg);
    const QString from = settlementDayFrom(first, hour).startStamp();
    const QString to = settlementDayFrom(QDate(year, month, days), hour).endStamp();
    // The server sums each site's settlement days from the hourly sums it keeps by the desk's
    // rules (a day holds the stays that began in its window; "대실" and "숙박" count, any other
    // kind does not). A site with a row of the month the desk could not count goes through
    // the desk's own code instead, which names that row.
    const auto hourOf = [](const QString& stamp) { return stamp.left(10); };
    QStringList dayEnds;
    for (int d = 1; d < days; ++d)
        dayEnds << hourOf(settlementDayFrom(QDate(year, month, d), hour).endStamp());
    const PgResult sums =
        pg.exec(QStringLiteral("SELECT site, pg_catalog.width_bucket(hour, $3::text[]), action, "
                               "pg_catalog.sum(amount)::text "
                               "FROM tavolen.ledger_hour WHERE hour >= $1 AND hour < $2 "
                               "GROUP BY 1, 2, 3"),
                {hourOf(from), hourOf(to), textArray(dayEnds)});
    const PgResult odd = pg.exec(
        QStringLiteral("SELECT site FROM tavolen.ledger WHERE idatetime >= $1 AND idatetime < $2 "
                       "AND tavolen.counted_amount(idatetime, cash) IS NULL UNION "
                       "SELECT site FROM tavolen.ledger_kept WHERE idatetime >= $1 AND "
                       "idatetime < $2 AND tavolen.counted_amount(idatetime, cash) IS NULL"),
        {from, to});
    std::vector<SiteFigures> unusual;
    for (const SiteFigures& s : report.sites)
        for (int i = 0; i < odd.rows(); ++i)
            if (odd.text(i, 0) == s.site) unusual.push_back(s);
    auto ledgers = readLedgers(pg, unusual, from, to);
    read.commit();
    std::map<QString, SiteFigures*> bySite;
    for (SiteFigures& s : report.sites) {
        s.month.year = year;
        s.month.month = month;
        s.month.dayUse.assign(size_t(days), 0);
        s.month.overnight.assign(size_t(days), 0);
        bySite[s.site] = &s;
    }
    addMonthSums(report.sites, sums);
    for (auto& [site, ledger] : ledgers)
        bySite[site]->month = ledger::readMonth(ledger.done(), year, month, hour, false);
    report.title = QStringLiteral("그룹 월합계 : %1-%2").arg(year).arg(month);
    QStringList groups{QStringLiteral("일자")}, kinds{QString()};
    for (SiteFigures& s : report.sites) {
        groups << siteCaption(s) << QString() << QString();
        kinds << QStringLiteral("대실") << QStringLiteral("숙박") << QStringLiteral("합계");
    }
    groups << QStringLiteral("총합") << QString() << QString();
    kinds << QStringLiteral("대실") << QStringLiteral("숙박") << QStringLiteral("합계");
    report.rows = {groups, kinds};
    report.headerRows = 2;
    const auto addRow = [&](const QString& caption, auto figure) {
        QStringList row{caption};
        qint64 rest = 0, sleep = 0;
        for (size_t i = 0; i < report.sites.size(); ++i) {
            const auto [a, b] = figure(report.sites[i]);
            row << number(a) << number(b) << number(a + b);
            rest += a;
            sleep += b;
        }
        row << number(rest) << number(sleep) << number(rest + sleep);
        report.rows.push_back(row);
    };
    for (int d = 0; d < days; ++d)
        addRow(QStringLiteral("%1일").arg(d + 1), [d](const SiteFigures& s) {
            return std::pair<qint64, qint64>(s.month.dayUse[size_t(d)],
                                             s.month.overnight[size_t(d)]);
        });
    addRow(QStringLiteral("총합"), [](const SiteFigures& s) {
        qint64 a = 0, b = 0;
        for (qint64 v : s.month.dayUse) a += v;
        for (qint64 v : s.month.overnight) b += v;
        return std::pair<qint64, qint64>(a, b);
    });
    QStringList received{QStringLiteral("마지막 수신")};
    for (const SiteFigures& s : report.sites)
        received << lastReceived(s) << QStringLiteral("#%1").arg(s.lastSeq) << QString();
    received << QString() << QString() << QString();
    report.rows.push_back(received);
    report.amountColumns.assign(report.sites.size() * 3 + 4, true);
    report.amountColumns[0] = false;
    return report;
}

void groupReport::addTrail(PgConnection& pg, GroupReport& report, int year, int month) {
    const QDate first(year, month, 1);
    if (!first.isValid())
        throw ReportError(QStringLiteral("잘못된 월입니다: %1-%2").arg(year).arg(month));
    QStringList names;
    std::map<QString, QString> captions;
    for (const SiteFigures& s : report.sites) {
        names << s.site;
        captions[s.site] = siteCaption(s);
    }
    // The desk's own words and time, bounded: a site's desk wrote them.
    const PgResult r = pg.exec(
        QStringLiteral(
            "SELECT site, pg_catalog.left(at, 19), grade, pg_catalog.left(action, 40), "
            "pg_catalog.left(detail::text, 200), n, total FROM (SELECT site, at, grade, action, "
            "detail, pg_catalog.row_number() OVER w AS n, pg_catalog.count(*) OVER "
            "(PARTITION BY site) AS total FROM tavolen.audit WHERE site = ANY($1::text[]) AND "
            "at >= $2 AND at < $3 WINDOW w AS (PARTITION BY site ORDER BY at DESC, seq DESC)) t "
            "WHERE n <= $4::integer ORDER BY site, n"),
        {textArray(names), first.toString(QStringLiteral("yyyy-MM-dd")),
         first.addMonths(1).toString(QStringLiteral("yyyy-MM-dd")),
         QString::number(kTrailRowsPerSite)});
    report.rows.push_back({});
    report.rows.push_back({QStringLiteral("작업 기록 (최근 순)")});
    report.rows.push_back({QStringLiteral("사이트"), QStringLiteral("시각"), QStringLiteral("등급"),
                           QStringLiteral("작업"), QStringLiteral("내용")});
    for (int i = 0; i < r.rows(); ++i) {
        const auto caption = captions.find(r.text(i, 0));
        if (caption == captions.end()) continue;
        const QString detail = r.text(i, 4) == QLatin1String("{}") ? QString() : r.text(i, 4);
        report.rows.push_back({caption->second, r.text(i, 1),
                               audit::gradeText(r.text(i, 2).toInt()),
                               audit::actionText(r.text(i, 3)), detail});
        const qint64 n = r.text(i, 5).toLongLong(), total = r.text(i, 6).toLongLong();
        if (n == kTrailRowsPerSite && total > n)
            report.rows.push_back(
                {caption->second, QStringLiteral("이전 기록 %1건 생략").arg(total - n)});
    }
    if (r.rows() == 0) report.rows.push_back({QStringLiteral("이 달의 작업 기록이 없습니다")});
}

void groupReport::addMonthSums(std::vector<SiteFigures>& sites, const PgResult& sums) {
    std::map<QString, SiteFigures*> bySite;
    for (SiteFigures& s : sites) bySite[s.site] = &s;
    std::set<std::tuple<QString, int, QString>> seen;
    for (int i = 0; i < sums.rows(); ++i) {
        const QString site = sums.text(i, 0), action = sums.text(i, 2);
        const auto found = bySite.find(site);
        if (found == bySite.end()) continue;
        MonthSums& month = found->second->month;
        // What the server answers is checked like any other input before it is used.
        bool dayOk = false, amountOk = false;
        const int day = sums.text(i, 1).toInt(&dayOk);
        const qint64 amount = sums.text(i, 3).toLongLong(&amountOk);
        const std::optional<StayKind> kind = stayKindNamed(action);
        if (!dayOk || day < 0 || size_t(day) >= month.dayUse.size() || !kind || !amountOk ||
            amount < -kLargestSum || amount > kLargestSum ||
            !seen.emplace(site, day, action).second)
            throw ReportError(
                QStringLiteral("중앙 서버의 답에 이 달에 맞지 않는 행이 있습니다: 사이트 %1, 일 "
                               "%2, 구분 %3, 금액 %4")
                    .arg(site, sums.text(i, 1), action, sums.text(i, 3)));
        (*kind == StayKind::DayUse ? month.dayUse : month.overnight)[size_t(day)] = amount;
    }
}

void groupReport::write(const GroupReport& report, const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QStringLiteral("xlsx"))
        replaceFileBy(path,
                      [&](const QString& temporary) { writeXlsxTo(report, temporary, path); });
    else if (suffix == QStringLiteral("pdf"))
        writePdf(report, path);
    else if (suffix == QStringLiteral("csv"))
        writeCsv(report, path);
    else
        throw ReportError(
            QStringLiteral("지원하지 않는 파일 형식입니다 (.xlsx, .pdf, .csv): %1").arg(path));
}
