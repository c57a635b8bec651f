#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPainter>
#include <QRegularExpression>
#include <csignal>

#include "settlement/Report.h"
#include "settlement/SettlementFixture.h"

namespace {

const QString kDayUse = QStringLiteral("대실");
// Debian's own interpreter, which has the packaged readers (xlrd, openpyxl).
const QString kPython = QStringLiteral("/usr/bin/python3");

SettlementReport threeStays() {
    DailySettlement day;
    day.fill({{1, "101", "200604021000", "200604021200", kDayUse, 30000},
              {2, "102", "200604021100", "200604021130대실취소", kDayUse, 1234567},
              {3, "103", "200604022200", "", QStringLiteral("숙박"), 50000},
              {4, "104", "200604021300", "200604021400객실교체", kDayUse, 70000}});
    return SettlementReport::daily(QDate(2006, 4, 2), day);
}

SettlementReport april() {
    MonthSums sums{2006, 4, std::vector<qint64>(30, 0), std::vector<qint64>(30, 0)};
    sums.dayUse[0] = 1234567;
    sums.overnight[29] = 50000;
    return SettlementReport::monthly(QStringLiteral("2006-4"), sums);
}

TEST(Report, LinesOfADailyAndAMonthlyReport) {
    const SettlementReport d = threeStays();
    EXPECT_EQ(d.title, QStringLiteral("2006년04월02일 결산"));
    const auto lines = d.lines();
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0], (QStringList{"순번", "룸번호", "입실시간", "완료시간", "대실", "숙박"}));
    EXPECT_EQ(lines[1], (QStringList{"1", "101호", "2006년04월02일10시00분",
                                     "2006년04월02일12시00분", "30,000", "0"}));
    EXPECT_EQ(lines[2][4], QStringLiteral("1,234,567"));
    EXPECT_EQ(lines[5], (QStringList{"합계", "", "", "", "1,334,567", "50,000"}));
    EXPECT_EQ(lines[6],
              (QStringList{"총합", "교체금액:", "70,000", "취소금액:", "1,234,567", "1,384,567"}));

    const SettlementReport m = april();
    EXPECT_EQ(m.title, QStringLiteral("2006-4월 결산"));
    const auto monthLines = m.lines();
    ASSERT_EQ(monthLines.size(), 32u);
    EXPECT_EQ(monthLines[1], (QStringList{"1일", "1,234,567", "0", "1,234,567"}));
    EXPECT_EQ(monthLines[31], (QStringList{"총합", "1,234,567", "50,000", "1,284,567"}));
    EXPECT_EQ(m.lines(), monthLines) << "every production starts from the first line";
}

// Each sheet row as a JSON array of its values (numbers as numbers, empty cells as "").
std::vector<QJsonArray> readSheet(const QString& path) {
    const QString script =
        path.endsWith(".xlsx")
            ? QStringLiteral(
                  "import json,sys,openpyxl\n"
                  "ws=openpyxl.load_workbook(sys.argv[1]).active\n"
                  "for row in ws.iter_rows(values_only=True):\n"
                  "  print(json.dumps([('' if v is None else v) for v in row]))\n")
            : QStringLiteral(
                  "import json,sys,xlrd\n"
                  "s=xlrd.open_workbook(sys.argv[1]).sheet_by_index(0)\n"
                  "for r in range(s.nrows):\n"
                  "  print(json.dumps(s.row_values(r)))\n");
    const ProcessResult r = runProcess(kPython, {"-c", script, path});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    std::vector<QJsonArray> rows;
    for (const QString& line : r.out.split('\n', Qt::SkipEmptyParts))
        rows.push_back(QJsonDocument::fromJson(line.toUtf8()).array());
    return rows;
}

QString cell(const QJsonArray& row, int c) {
    if (c >= row.size()) return QString();
    const QJsonValue v = row[c];
    return v.isDouble() ? QString::number(qint64(v.toDouble())) : v.toString();
}

TEST(Report, SpreadsheetsHoldTheSameTextsAndNumbers) {
    QTemporaryDir dir;
    for (const SettlementReport& report : {threeStays(), april()}) {
        for (const char* ext : {"xls", "xlsx"}) {
            const QString path = dir.filePath(QStringLiteral("report.") + ext);
            writeReport(report, path);
            const auto rows = readSheet(path);
            ASSERT_EQ(rows.size(), report.grid.size() + 1) << ext;
            EXPECT_EQ(cell(rows[0], 0), report.title);
            for (size_t r = 0; r < report.grid.size(); ++r) {
                for (int c = 0; c < report.columns(); ++c) {
                    EXPECT_EQ(cell(rows[r + 1], c), report.grid[r][c])
                        << ext << " row " << r << " col " << c;
                    const bool number = !report.grid[r][c].isEmpty() &&
                                        report.grid[r][c].at(0).isDigit() &&
                                        (report.isAmountCell(r, c) ||
                                         (c == 0 && report.kind == SettlementKind::Daily));
                    EXPECT_EQ(rows[r + 1][c].isDouble(), number)
                        << ext << " row " << r << " col " << c;
                }
            }
        }
    }
}

TEST(Report, AmountsCarryTheThousandsFormatAndTheirWordsBeside) {
    QTemporaryDir dir;
    // Sheet rows: title, column titles, four stays, 합계, 총합.
    const struct {
        int row, column;
        const char* format;
    } cells[] = {
        {2, 0, "General"},  // 순번
        {2, 4, "#,##0"},
        {7, 2, "#,##0"},  // 교체금액
        {7, 4, "#,##0"},  // 취소금액
    };
    const QString xls = dir.filePath("report.xls"), xlsx = dir.filePath("report.xlsx");
    writeReport(threeStays(), xls);
    writeReport(threeStays(), xlsx);
    for (const auto& c : cells) {
        SCOPED_TRACE(c.format);
        const QString row = QString::number(c.row), column = QString::number(c.column);
        const ProcessResult a =
            runProcess(kPython, {"-c",
                                 "import sys,xlrd\n"
                                 "b=xlrd.open_workbook(sys.argv[1],formatting_info=True)\n"
                                 "s=b.sheet_by_index(0)\n"
                                 "x=b.xf_list[s.cell_xf_index(int(sys.argv[2]),int(sys.argv[3]))]\n"
                                 "print(b.format_map[x.format_key].format_str or 'General')\n",
                                 xls, row, column});
        EXPECT_EQ(a.out.trimmed(), QString::fromUtf8(c.format)) << a.err.toStdString();
        const ProcessResult b = runProcess(
            kPython, {"-c",
                      "import sys,openpyxl\n"
                      "ws=openpyxl.load_workbook(sys.argv[1]).active\n"
                      "print(ws.cell(int(sys.argv[2])+1,int(sys.argv[3])+1).number_format)\n",
                      xlsx, row, column});
        EXPECT_EQ(b.out.trimmed(), QString::fromUtf8(c.format)) << b.err.toStdString();
    }
    const auto total = readSheet(xlsx)[7];
    EXPECT_EQ(cell(total, 1), QStringLiteral("교체금액:"));
    EXPECT_EQ(cell(total, 3), QStringLiteral("취소금액:"));
}

TEST(Report, PdfHoldsTheTitleAndEveryLine) {
    QTemporaryDir dir;
    for (const SettlementReport& report : {threeStays(), april()}) {
        const QString path = dir.filePath("report.pdf");
        bool chartDrawn = false;
        writeReport(report, path, [&](QPainter&, const QRectF&) { chartDrawn = true; });
        EXPECT_EQ(chartDrawn, report.kind == SettlementKind::Monthly);
        const ProcessResult r = runProcess("pdftotext", {"-layout", path, "-"});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_TRUE(r.out.contains(report.title)) << r.out.toStdString();
        for (const QStringList& line : report.lines())
            for (const QString& text : line)
                EXPECT_TRUE(r.out.contains(text)) << text.toStdString();
    }
}

TEST(Report, CsvIsUtf8WithAByteOrderMarkAndPlainAmounts) {
    QTemporaryDir dir;
    const QString path = dir.filePath("report.csv");
    writeReport(threeStays(), path);
    const QByteArray bytes = readBytes(path);
    ASSERT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
    const QStringList lines = QString::fromUtf8(bytes.mid(3)).split("\r\n", Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 8);
    EXPECT_EQ(lines[0], QStringLiteral("2006년04월02일 결산"));
    EXPECT_EQ(lines[2],
              QStringLiteral("1,101호,2006년04월02일10시00분,2006년04월02일12시00분,30000,0"));
    EXPECT_EQ(lines[7], QStringLiteral("총합,교체금액:,70000,취소금액:,1234567,1384567"));
}

// A room's memo, a site's name: texts typed by someone else never run as formulas in the
// spreadsheet that opens the file. Amounts stay numbers.
TEST(Report, CsvCellsAreNeverReadAsFormulas) {
    const struct {
        const char* cell;
        const char* written;
    } cases[] = {
        {"=1+2", "'=1+2"},
        {"+82 10", "'+82 10"},
        {"-1+2", "'-1+2"},
        {"-", "'-"},
        {"@SUM(A1)", "'@SUM(A1)"},
        {"\t=1", "'\t=1"},
        {"\r=1", "\"'\r=1\""},
        {"a\rb", "\"a\rb\""},
        {"=\"x\",1", "\"'=\"\"x\"\",1\""},
        {"-5000", "-5000"},
        {"30000", "30000"},
        {"101호 =1", "101호 =1"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(csvField(QString::fromUtf8(c.cell)), QString::fromUtf8(c.written)) << c.cell;
}

TEST(Report, EveryPrintedPageHasTheColumnTitlesAndItsNumber) {
    DailySettlement day;
    std::vector<LedgerStay> stays;
    for (int k = 0; k < 100; ++k)
        stays.push_back(
            {k + 1, QString::number(101 + k), "200604021000", "200604021200", kDayUse, 30000});
    day.fill(stays);
    QTemporaryDir dir;
    // Each case: the report, its pages; the monthly chart takes a page of its own.
    const struct {
        SettlementReport report;
        int pages;
    } cases[] = {{SettlementReport::daily(QDate(2006, 4, 2), day), 3}, {april(), 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.report.title.toStdString());
        const QString path = dir.filePath("report.pdf");
        writeReport(c.report, path, [](QPainter&, const QRectF&) {});
        for (int page = 1; page <= c.pages; ++page) {
            const ProcessResult r = runProcess(
                "pdftotext",
                {"-layout", "-f", QString::number(page), "-l", QString::number(page), path, "-"});
            ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
            // The words are placed one by one; the extracted text may space them wider.
            EXPECT_TRUE(r.out.contains(
                QRegularExpression(QStringLiteral("\\b%1 */ *%2\\b").arg(page).arg(c.pages))))
                << page << r.out.toStdString();
            if (page < c.pages || c.report.kind == SettlementKind::Daily) {
                EXPECT_TRUE(r.out.contains(c.report.lines()[0][1])) << page;
            }
        }
        const ProcessResult info = runProcess("pdfinfo", {path});
        EXPECT_TRUE(info.out.contains(QStringLiteral("Pages:           %1").arg(c.pages)))
            << info.out.toStdString();
    }
}

TEST(Report, AFailedExportLeavesTheOldFileWhole) {
    QTemporaryDir dir;
    // Files larger than this cannot be written: every export fails on the way.
    rlimit before{};
    getrlimit(RLIMIT_FSIZE, &before);
    const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
    for (const char* ext : {"csv", "xls", "xlsx", "pdf"}) {
        SCOPED_TRACE(ext);
        const QString path = dir.filePath(QStringLiteral("report.") + ext);
        const QByteArray old(150, 'o');
        writeBytes(path, old);
        rlimit small = before;
        small.rlim_cur = 200;
        setrlimit(RLIMIT_FSIZE, &small);
        EXPECT_THROW(writeReport(threeStays(), path), ReportError);
        setrlimit(RLIMIT_FSIZE, &before);
        EXPECT_EQ(readBytes(path), old);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                  QStringList{QStringLiteral("report.") + ext})
            << "no temporary file is left";
        QFile::remove(path);
        writeReport(threeStays(), path);
        EXPECT_GT(QFileInfo(path).size(), 200);
        QFile::remove(path);
    }
    std::signal(SIGXFSZ, oldSignal);
}

// A disk that fills up on the very last bytes of a report: the failure is seen, and the old
// file stays.
TEST(Report, AFailedLastWriteIsSeen) {
    QTemporaryDir dir;
    rlimit before{};
    getrlimit(RLIMIT_FSIZE, &before);
    const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
    for (const char* ext : {"csv", "xls", "pdf"}) {
        SCOPED_TRACE(ext);
        const QString path = dir.filePath(QStringLiteral("report.") + ext);
        writeReport(threeStays(), path);
        const qint64 size = QFileInfo(path).size();
        const QByteArray old(150, 'o');
        writeBytes(path, old);
        rlimit small = before;
        small.rlim_cur = rlim_t(size - 1);
        setrlimit(RLIMIT_FSIZE, &small);
        EXPECT_THROW(writeReport(threeStays(), path), ReportError);
        setrlimit(RLIMIT_FSIZE, &before);
        EXPECT_EQ(readBytes(path), old);
    }
    std::signal(SIGXFSZ, oldSignal);
}

TEST(Report, UnknownExtensionsAndUnwritableFilesAreReported) {
    QTemporaryDir dir;
    EXPECT_THROW(writeReport(threeStays(), dir.filePath("report.ods")), ReportError);
    const QString missing = dir.filePath("no/such/dir/report.");
    for (const char* ext : {"xls", "xlsx", "pdf", "csv"})
        EXPECT_THROW(writeReport(threeStays(), missing + ext), ReportError) << ext;
}

}  // namespace
