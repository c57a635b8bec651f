#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

#include "platform/Errors.h"
#include "settlement/Settlement.h"

class QPainter;
class QPagedPaintDevice;
class QRectF;

// A report that could not be made or written; the text says why.
class ReportError : public TavolenError {
public:
    using TavolenError::TavolenError;
};

// What preview, print and every export share: a title and one line per grid
// row, titles and totals included.
struct SettlementReport {
    SettlementKind kind = SettlementKind::Daily;
    QString title;
    SettlementGrid grid;             // the view's cells: amounts as plain digits
    std::optional<MonthSums> month;  // the monthly report's days, for the chart

    static SettlementReport daily(QDate base, const DailySettlement& day);
    static SettlementReport monthly(const QString& monthText, const MonthSums& sums);

    int columns() const { return kind == SettlementKind::Daily ? 6 : 4; }
    bool isAmountColumn(int column) const;
    // An amount column, or the 교체금액 sum in the daily 총합 line.
    bool isAmountCell(size_t row, int column) const;
    // The printed texts: amounts grouped with thousands separators.
    std::vector<QStringList> lines() const;
};

// One cell of a spreadsheet file made from a report.
struct SheetCell {
    enum class Type { Empty, Text, Number, Amount };  // an amount is a number shown as #,##0
    Type type = Type::Empty;
    QString text;
    qint64 amount = 0;
    bool bold = false;
};
using SheetRows = std::vector<std::vector<SheetCell>>;

// The title in the first row, then the report's lines; amounts as numbers.
SheetRows sheetRows(const SettlementReport& report);
// Column widths of the sheet in characters.
std::vector<int> sheetColumnWidths(const SettlementReport& report);

// Draws the month's bar chart into a rectangle of the page; the report layout
// leaves room for it under the monthly lines when one is given.
using ChartPainter = std::function<void(QPainter&, const QRectF&)>;

// The printed layout: A4 portrait, title band on the first page, one detail
// line per report line, pages broken as they fill; every page starts with
// the column titles and ends with its number ("1 / 3"). `device` is a printer or a
// PDF writer; its page layout is set here. Raises ReportError.
void paintReport(const SettlementReport& report, QPagedPaintDevice& device,
                 const ChartPainter& chart = {});

// Writes the report to `path`, the format chosen by its extension: .xlsx,
// .xls, .pdf or .csv (UTF-8 with a byte-order mark, amounts without
// separators). Each is written beside `path` and renamed over it, so a
// failure leaves an existing file as it was. Raises ReportError for an
// unknown extension or a file that cannot be written.
void writeReport(const SettlementReport& report, const QString& path,
                 const ChartPainter& chart = {});

// Writes `path` through a temporary file beside it and a rename, so that a
// failure on the way leaves the old file whole. `write` fills the temporary
// file by its name. Raises ReportError.
void replaceFileBy(const QString& path, const std::function<void(const QString&)>& write);
// Writes `bytes` as the whole new content of `path`, as replaceFileBy does.
void replaceFileWith(const QString& path, const QByteArray& bytes);

// One cell of a CSV file: quoted when it holds a comma, a quote or a line
// break, and never read back as a formula: a text that starts with =, +, -,
// @, a tab or a carriage return gets an apostrophe in front. An amount (a
// plain integer such as -5000) stays a number.
QString csvField(const QString& cell);
// What a CSV file of ours starts with: the byte-order mark tells spreadsheet programs the file
// is UTF-8, so that they show Korean right.
inline constexpr char kCsvStart[] = "\xEF\xBB\xBF";

void writeCsv(const SettlementReport& report, const QString& path);
void writeXlsx(const SettlementReport& report, const QString& path);
void writeXls(const SettlementReport& report, const QString& path);
void writePdf(const SettlementReport& report, const QString& path, const ChartPainter& chart = {});
