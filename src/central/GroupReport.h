#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <vector>

#include "settlement/LedgerReader.h"

class PgConnection;
class PgResult;

// One site's figures of a period, computed by the desk's own settlement code over the rows
// the central ledger holds for it, so that they equal the site's own report.
struct SiteFigures {
    QString site;
    QString name;
    qint64 lastSeq = 0;
    QDateTime lastReceived;  // invalid before the first change
    MonthSums month;         // a month report's days
    qint64 dayUse = 0, overnight = 0, cancelled = 0, moved = 0;
    int dayUseStays = 0, overnightStays = 0;
};

// The group's report: one column group per site and the total. Rows hold plain digits for
// amounts; `headerRows` rows of titles come first.
struct GroupReport {
    QString title;
    std::vector<QStringList> rows;
    int headerRows = 0;
    std::vector<bool> amountColumns;
    std::vector<SiteFigures> sites;
};

namespace groupReport {

// The settlement day that starts at `hour` of `day`, every site the connection may see.
GroupReport day(PgConnection& pg, QDate day, int hour);
// The month's settlement days counted the same way.
GroupReport month(PgConnection& pg, int year, int month, int hour);

// The trail of desk actions of the calendar month (tavolen.audit) appended to `report` after
// its rows: per site of the report, newest first, in Korean, at most `kTrailRowsPerSite` rows
// each with a line saying how many older ones were left out.
constexpr int kTrailRowsPerSite = 500;
void addTrail(PgConnection& pg, GroupReport& report, int year, int month);

// The server's sums of the month's days (site, day counted from 0, "대실" or "숙박", amount) put
// into the days of the sites listed, whose months are sized. Raises ReportError, naming the row,
// for a row that does not fit: a day outside the month, another kind, an amount that is no
// amount, or a second row for the same day.
void addMonthSums(std::vector<SiteFigures>& sites, const PgResult& sums);

// .xlsx, .csv (UTF-8 with its byte-order mark) or .pdf by the extension, written beside the file
// and renamed over it. Raises ReportError.
void write(const GroupReport& report, const QString& path);

}  // namespace groupReport
