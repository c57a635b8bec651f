#include "settlement/Report.h"

#include <unistd.h>
#include <xlsxwriter.h>

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryFile>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "settlement/NumberFormat.h"

namespace {

bool isDigits(const QString& s) {
    if (s.isEmpty()) return false;
    for (const QChar c : s)
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
    return true;
}

// Label positions of the layout, in pixels at 96 per inch.
constexpr int kDailyColumns[] = {16, 80, 144, 320, 560, 648};
constexpr int kMonthlyColumns[] = {16, 100, 200, 300};

QFont reportFont(double points, bool bold) {
    QFont f(QStringLiteral("굴림체"));
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

// Draws a text from its top left corner a word at a time. The PDF engine
// maps a blank's glyph to a control character for text extraction, so a
// PDF's text would not read back as written; separate words read as words.
void drawWords(QPainter& p, QPointF topLeft, const QString& text) {
    const QFontMetricsF metrics(p.font(), p.device());
    double x = topLeft.x();
    const double baseline = topLeft.y() + metrics.ascent();
    for (const QString& word : text.split(QLatin1Char(' '))) {
        if (!word.isEmpty()) p.drawText(QPointF(x, baseline), word);
        x += metrics.horizontalAdvance(word + QLatin1Char(' '));
    }
}

double textWidth(const QPainter& p, const QString& text) {
    return QFontMetricsF(p.font(), p.device()).horizontalAdvance(text);
}

}  // namespace

void replaceFileBy(const QString& path, const std::function<void(const QString&)>& write) {
    const QFileInfo target(path);
    QTemporaryFile temporary(target.absolutePath() + QStringLiteral("/.") + target.fileName() +
                             QStringLiteral(".XXXXXX"));
    if (!temporary.open())
        throw ReportError(QStringLiteral("파일을 저장할 수 없습니다: %1 (%2)")
                              .arg(path, temporary.errorString()));
    temporary.close();
    write(temporary.fileName());
    QFile written(temporary.fileName());
    const bool synced = written.open(QIODevice::ReadWrite) && ::fsync(written.handle()) == 0;
    written.close();
    if (!synced || ::rename(QFile::encodeName(temporary.fileName()).constData(),
                            QFile::encodeName(path).constData()) != 0)
        throw ReportError(QStringLiteral("파일을 저장할 수 없습니다: %1 (%2)")
                              .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    temporary.setAutoRemove(false);
}

void replaceFileWith(const QString& path, const QByteArray& bytes) {
    replaceFileBy(path, [&](const QString& temporary) {
        // Unbuffered, so that a short write is seen here and not lost in a flush.
        QFile file(temporary);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) ||
            file.write(bytes) != bytes.size())
            throw ReportError(
                QStringLiteral("파일을 저장할 수 없습니다: %1 (%2)").arg(path, file.errorString()));
    });
}

QString csvField(const QString& cell) {
    QString s = cell;
    // A spreadsheet program takes a cell starting so for a formula, and runs it.
    static const QString formulaStarts = QStringLiteral("=+-@\t\r");
    const bool isAmount = s.startsWith(QLatin1Char('-')) && isDigits(s.mid(1));
    if (!s.isEmpty() && formulaStarts.contains(s[0]) && !isAmount) s.prepend(QLatin1Char('\''));
    if (!s.contains(QLatin1Char(',')) && !s.contains(QLatin1Char('"')) &&
        !s.contains(QLatin1Char('\n')) && !s.contains(QLatin1Char('\r')))
        return s;
    s.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + s + QLatin1Char('"');
}

SettlementReport SettlementReport::daily(QDate base, const DailySettlement& day) {
    SettlementReport r;
    r.kind = SettlementKind::Daily;
    r.title = base.toString(QStringLiteral("yyyy년MM월dd일")) + QStringLiteral(" 결산");
    r.grid = day.grid();
    return r;
}

SettlementReport SettlementReport::monthly(const QString& monthText, const MonthSums& sums) {
    SettlementReport r;
    r.kind = SettlementKind::Monthly;
    r.title = monthText + QStringLiteral("월 결산");
    r.grid = monthlySettlement::grid(sums);
    r.month = sums;
    return r;
}

bool SettlementReport::isAmountColumn(int column) const {
    return kind == SettlementKind::Daily ? column == 4 || column == 5 : column >= 1 && column <= 3;
}

bool SettlementReport::isAmountCell(size_t row, int column) const {
    if (row == 0) return false;
    if (isAmountColumn(column)) return true;
    return kind == SettlementKind::Daily && row + 1 == grid.size() && column == 2;
}

std::vector<QStringList> SettlementReport::lines() const {
    std::vector<QStringList> out;
    out.reserve(grid.size());
    for (size_t r = 0; r < grid.size(); ++r) {
        const QStringList& row = grid[r];
        QStringList line;
        for (int c = 0; c < columns(); ++c) {
            const QString cell = c < row.size() ? row[c] : QString();
            line << (isAmountCell(r, c) && !cell.isEmpty() ? numberFormat(cell) : cell);
        }
        out.push_back(line);
    }
    return out;
}

SheetRows sheetRows(const SettlementReport& report) {
    SheetRows rows;
    rows.push_back({SheetCell{SheetCell::Type::Text, report.title, 0, true}});
    for (size_t r = 0; r < report.grid.size(); ++r) {
        std::vector<SheetCell> line;
        const QStringList& row = report.grid[r];
        for (int c = 0; c < report.columns(); ++c) {
            const QString cell = c < row.size() ? row[c] : QString();
            SheetCell sc;
            sc.bold = r == 0;
            if (cell.isEmpty()) {
                sc.type = SheetCell::Type::Empty;
            } else if (report.isAmountCell(r, c) && isDigits(cell) && cell.size() <= 15) {
                sc.type = SheetCell::Type::Amount;
                sc.amount = cell.toLongLong();
            } else if (r > 0 && c == 0 && report.kind == SettlementKind::Daily && isDigits(cell) &&
                       cell.size() <= 15) {
                sc.type = SheetCell::Type::Number;  // 순번
                sc.amount = cell.toLongLong();
            } else {
                sc.type = SheetCell::Type::Text;
                sc.text = cell;
            }
            line.push_back(sc);
        }
        rows.push_back(std::move(line));
    }
    return rows;
}

std::vector<int> sheetColumnWidths(const SettlementReport& report) {
    if (report.kind == SettlementKind::Daily) return {6, 9, 24, 30, 12, 12};
    return {8, 14, 14, 14};
}

void paintReport(const SettlementReport& report, QPagedPaintDevice& device,
                 const ChartPainter& chart) {
    device.setPageSize(QPageSize(QPageSize::A4));
    device.setPageOrientation(QPageLayout::Portrait);
    device.setPageMargins(QMarginsF(10, 20, 10, 10), QPageLayout::Millimeter);
    QPainter p;
    if (!p.begin(&device)) throw ReportError(QStringLiteral("보고서를 출력할 수 없습니다"));
    const double mm = device.logicalDpiY() / 25.4;
    const double px = device.logicalDpiX() / 96.0;
    const double width = device.width();
    const double height = device.height();
    const double titleBand = 10.05 * mm;
    const double detailBand = 6.09 * mm;

    p.setPen(Qt::black);
    p.drawLine(QPointF(0, 0), QPointF(width, 0));
    p.drawLine(QPointF(0, titleBand), QPointF(width, titleBand));
    p.setFont(reportFont(14, true));
    drawWords(p, QPointF((width - textWidth(p, report.title)) / 2, 12 * px), report.title);

    const int* xs = report.kind == SettlementKind::Daily ? kDailyColumns : kMonthlyColumns;
    const std::vector<QStringList> lines = report.lines();
    const double footerBand = 8 * mm;
    const double bottom = height - footerBand;
    const double chartHeight = 100 * mm;

    // The pages are laid out first, as each one carries their count. A page
    // holds the column titles (line 0) and the report lines [first, end).
    struct Page {
        size_t first, end;
    };
    std::vector<Page> pages;
    double y = 0;
    for (size_t next = 1; pages.empty() || next < lines.size();) {
        Page page{next, next};
        y = (pages.empty() ? titleBand : 0) + detailBand;
        while (page.end < lines.size() && (y + detailBand <= bottom || page.end == page.first)) {
            y += detailBand;
            ++page.end;
        }
        pages.push_back(page);
        next = page.end;
    }
    const bool drawChart = chart && report.month;
    const bool chartPage = drawChart && y + chartHeight > bottom;
    const int pageCount = int(pages.size()) + (chartPage ? 1 : 0);

    auto drawLine = [&](const QStringList& line, double top) {
        for (int c = 0; c < report.columns(); ++c)
            drawWords(p, QPointF(xs[c] * px, top + 4 * px), line[c]);
    };
    auto drawPageNumber = [&](int number) {
        const QString text = QStringLiteral("%1 / %2").arg(number).arg(pageCount);
        drawWords(p, QPointF((width - textWidth(p, text)) / 2, bottom + 2 * mm), text);
    };
    p.setFont(reportFont(10, false));
    for (size_t i = 0; i < pages.size(); ++i) {
        if (i > 0) device.newPage();
        double top = i == 0 ? titleBand : 0;
        drawLine(lines[0], top);
        top += detailBand;
        for (size_t k = pages[i].first; k < pages[i].end; ++k, top += detailBand)
            drawLine(lines[k], top);
        drawPageNumber(int(i) + 1);
    }

    if (drawChart) {
        if (chartPage) {
            device.newPage();
            y = 0;
            drawPageNumber(pageCount);
        }
        chart(p, QRectF(0, y + 4 * mm, width, chartHeight - 4 * mm));
    }
    p.end();
}

void writeReport(const SettlementReport& report, const QString& path, const ChartPainter& chart) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QStringLiteral("xlsx"))
        writeXlsx(report, path);
    else if (suffix == QStringLiteral("xls"))
        writeXls(report, path);
    else if (suffix == QStringLiteral("pdf"))
        writePdf(report, path, chart);
    else if (suffix == QStringLiteral("csv"))
        writeCsv(report, path);
    else
        throw ReportError(
            QStringLiteral("지원하지 않는 파일 형식입니다 (.xlsx, .xls, .pdf, .csv): %1")
                .arg(path));
}

void writeCsv(const SettlementReport& report, const QString& path) {
    QByteArray out = kCsvStart + csvField(report.title).toUtf8() + "\r\n";
    for (const QStringList& row : report.grid) {
        QStringList fields;
        for (int c = 0; c < report.columns(); ++c)
            fields << csvField(c < row.size() ? row[c] : QString());
        out += fields.join(QLatin1Char(',')).toUtf8() + "\r\n";
    }
    replaceFileWith(path, out);
}

void writePdf(const SettlementReport& report, const QString& path, const ChartPainter& chart) {
    // Drawn in memory and written at once: through a buffered file, a last write that fails
    // would go unnoticed and leave a cut file behind.
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter pdf(&buffer);
        pdf.setResolution(300);
        pdf.setTitle(report.title);
        pdf.setCreator(QStringLiteral("Tavolen"));
        paintReport(report, pdf, chart);
    }
    replaceFileWith(path, buffer.data());
}

namespace {

// The workbook written to `file`; messages name `path`, the file it becomes.
void writeXlsxTo(const SettlementReport& report, const QString& file, const QString& path) {
    const QByteArray name = QFile::encodeName(file);
    lxw_workbook_options options{};
    options.constant_memory = LXW_FALSE;
    lxw_workbook* book = workbook_new_opt(name.constData(), &options);
    if (!book) throw ReportError(QStringLiteral("파일을 저장할 수 없습니다: %1").arg(path));
    const QByteArray sheetName = QStringLiteral("결산").toUtf8();
    lxw_worksheet* sheet = workbook_add_worksheet(book, sheetName.constData());
    lxw_format* amount = workbook_add_format(book);
    format_set_num_format(amount, "#,##0");
    lxw_format* bold = workbook_add_format(book);
    format_set_bold(bold);

    const std::vector<int> widths = sheetColumnWidths(report);
    for (size_t c = 0; c < widths.size(); ++c)
        worksheet_set_column(sheet, lxw_col_t(c), lxw_col_t(c), widths[c], nullptr);
    const SheetRows rows = sheetRows(report);
    for (size_t r = 0; r < rows.size(); ++r) {
        for (size_t c = 0; c < rows[r].size(); ++c) {
            const SheetCell& cell = rows[r][c];
            if (cell.type == SheetCell::Type::Text) {
                const QByteArray text = cell.text.toUtf8();
                worksheet_write_string(sheet, lxw_row_t(r), lxw_col_t(c), text.constData(),
                                       cell.bold ? bold : nullptr);
            } else if (cell.type != SheetCell::Type::Empty) {
                worksheet_write_number(sheet, lxw_row_t(r), lxw_col_t(c), double(cell.amount),
                                       cell.type == SheetCell::Type::Amount ? amount : nullptr);
            }
        }
    }

    if (report.month && report.month->days() > 0) {
        // Day rows sit below the title row and the column titles: sheet rows
        // 2 .. days+1 (0-based), day-use in column B, overnight in column C.
        const int firstRow = 2, lastRow = 1 + report.month->days();
        lxw_chart* chart = workbook_add_chart(book, LXW_CHART_COLUMN_STACKED);
        const QByteArray sheetRef = QStringLiteral("결산").toUtf8();
        lxw_chart_series* dayUse = chart_add_series(chart, nullptr, nullptr);
        chart_series_set_categories(dayUse, sheetRef.constData(), firstRow, 0, lastRow, 0);
        chart_series_set_values(dayUse, sheetRef.constData(), firstRow, 1, lastRow, 1);
        chart_series_set_name_range(dayUse, sheetRef.constData(), 1, 1);
        lxw_chart_series* overnight = chart_add_series(chart, nullptr, nullptr);
        chart_series_set_categories(overnight, sheetRef.constData(), firstRow, 0, lastRow, 0);
        chart_series_set_values(overnight, sheetRef.constData(), firstRow, 2, lastRow, 2);
        chart_series_set_name_range(overnight, sheetRef.constData(), 1, 2);
        const QByteArray chartTitle = report.title.toUtf8();
        chart_title_set_name(chart, chartTitle.constData());
        lxw_chart_options placement{};
        placement.x_scale = 1.6;
        placement.y_scale = 1.4;
        worksheet_insert_chart_opt(sheet, 1, 5, chart, &placement);
    }

    const lxw_error rc = workbook_close(book);
    if (rc != LXW_NO_ERROR)
        throw ReportError(QStringLiteral("파일을 저장할 수 없습니다: %1 (%2)")
                              .arg(path, QString::fromUtf8(lxw_strerror(rc))));
}

}  // namespace

void writeXlsx(const SettlementReport& report, const QString& path) {
    replaceFileBy(path, [&](const QString& temporary) { writeXlsxTo(report, temporary, path); });
}
