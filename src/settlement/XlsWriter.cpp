// The .xls export: a BIFF8 workbook with one sheet, in a compound file of
// 512-byte sectors. Only what a settlement needs: text cells (LABEL, UTF-16),
// numbers with the built-in "#,##0" format, bold titles and column widths.
#include <algorithm>
#include <cstring>

#include "settlement/Report.h"

namespace {

class Bytes {
public:
    void u8(quint8 v) { data.append(char(v)); }
    void u16(quint16 v) {
        u8(v & 0xFF);
        u8(v >> 8);
    }
    void u32(quint32 v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    }
    void f64(double v) {
        quint64 bits;
        std::memcpy(&bits, &v, sizeof bits);
        u32(quint32(bits));
        u32(quint32(bits >> 32));
    }
    void utf16(const QString& s) {
        for (const QChar c : s) u16(c.unicode());
    }
    void zeros(int n) { data.append(n, '\0'); }
    QByteArray data;
};

void record(Bytes& out, quint16 type, const Bytes& body) {
    out.u16(type);
    out.u16(quint16(body.data.size()));
    out.data.append(body.data);
}

// BIFF8 allows 255 characters in a cell's text.
QString cellText(const QString& s) { return s.left(255); }

Bytes bof(quint16 kind) {
    Bytes b;
    b.u16(0x0600);
    b.u16(kind);
    b.u16(0x0DBB);
    b.u16(0x07CC);
    b.u32(0x00000041);
    b.u32(0x00000006);
    return b;
}

Bytes font(bool bold) {
    Bytes b;
    b.u16(200);  // 10 point, in twips
    b.u16(0);
    b.u16(0x7FFF);
    b.u16(bold ? 700 : 400);
    b.u16(0);
    b.u8(0);
    b.u8(0);
    b.u8(129);  // Hangul character set
    b.u8(0);
    const QString name = QStringLiteral("굴림체");
    b.u8(quint8(name.size()));
    b.u8(1);
    b.utf16(name);
    return b;
}

Bytes xf(quint16 fontIndex, quint16 format, bool style) {
    Bytes b;
    b.u16(fontIndex);
    b.u16(format);
    b.u16(style ? 0xFFF5 : 0x0001);  // style XF, or a cell XF on the Normal style
    b.u8(0x20);                      // bottom-aligned
    b.u8(0);
    b.u8(0);
    b.u8(style ? 0x00 : 0xF8);  // which attributes a cell XF sets itself
    b.u32(0);
    b.u32(0);
    b.u16(0x20C0);
    return b;
}

// XF indexes of the three cell formats.
constexpr quint16 kXfText = 15, kXfAmount = 16, kXfBold = 17;

QByteArray workbookStream(const SheetRows& rows, const std::vector<int>& widths) {
    Bytes globals;
    record(globals, 0x0809, bof(0x0005));
    Bytes codepage;
    codepage.u16(1200);
    record(globals, 0x0042, codepage);
    Bytes window1;
    window1.u16(0);
    window1.u16(0);
    window1.u16(0x3A5C);
    window1.u16(0x2000);
    window1.u16(0x0038);
    window1.u16(0);
    window1.u16(0);
    window1.u16(1);
    window1.u16(0x0258);
    record(globals, 0x003D, window1);
    // Font index 4 does not exist in BIFF; the fifth record is index 5 (bold).
    for (int i = 0; i < 4; ++i) record(globals, 0x0031, font(false));
    record(globals, 0x0031, font(true));
    for (int i = 0; i < 15; ++i) record(globals, 0x00E0, xf(0, 0, true));
    record(globals, 0x00E0, xf(0, 0, false));
    record(globals, 0x00E0, xf(0, 3, false));  // built-in format 3: "#,##0"
    record(globals, 0x00E0, xf(5, 0, false));
    Bytes style;
    style.u16(0x8000);
    style.u8(0);
    style.u8(0xFF);
    record(globals, 0x0293, style);

    const QString sheetName = QStringLiteral("결산");
    Bytes boundSheet;
    boundSheet.u32(0);  // the sheet's offset, patched below
    boundSheet.u16(0);
    boundSheet.u8(quint8(sheetName.size()));
    boundSheet.u8(1);
    boundSheet.utf16(sheetName);
    const qsizetype boundSheetAt = globals.data.size() + 4;
    record(globals, 0x0085, boundSheet);
    record(globals, 0x000A, Bytes());

    const quint32 sheetOffset = quint32(globals.data.size());
    for (int i = 0; i < 4; ++i)
        globals.data[boundSheetAt + i] = char((sheetOffset >> (8 * i)) & 0xFF);

    Bytes sheet;
    record(sheet, 0x0809, bof(0x0010));
    for (size_t c = 0; c < widths.size(); ++c) {
        Bytes colinfo;
        colinfo.u16(quint16(c));
        colinfo.u16(quint16(c));
        colinfo.u16(quint16(widths[c] * 256));
        colinfo.u16(kXfText);
        colinfo.u16(0);
        colinfo.u16(0);
        record(sheet, 0x007D, colinfo);
    }
    size_t columns = 0;
    for (const auto& row : rows) columns = std::max(columns, row.size());
    Bytes dimensions;
    dimensions.u32(0);
    dimensions.u32(quint32(rows.size()));
    dimensions.u16(0);
    dimensions.u16(quint16(columns));
    dimensions.u16(0);
    record(sheet, 0x0200, dimensions);
    Bytes window2;
    window2.u16(0x06B6);
    window2.zeros(2 + 2);
    window2.u16(0x0040);
    window2.zeros(2 + 2 + 2 + 4);
    record(sheet, 0x023E, window2);

    for (size_t r = 0; r < rows.size(); ++r) {
        for (size_t c = 0; c < rows[r].size(); ++c) {
            const SheetCell& cell = rows[r][c];
            Bytes b;
            b.u16(quint16(r));
            b.u16(quint16(c));
            if (cell.type == SheetCell::Type::Text) {
                const QString text = cellText(cell.text);
                b.u16(cell.bold ? kXfBold : kXfText);
                b.u16(quint16(text.size()));
                b.u8(1);
                b.utf16(text);
                record(sheet, 0x0204, b);
            } else if (cell.type != SheetCell::Type::Empty) {
                b.u16(cell.type == SheetCell::Type::Amount ? kXfAmount : kXfText);
                b.f64(double(cell.amount));
                record(sheet, 0x0203, b);
            }
        }
    }
    record(sheet, 0x000A, Bytes());
    return globals.data + sheet.data;
}

constexpr quint32 kFreeSector = 0xFFFFFFFF, kEndOfChain = 0xFFFFFFFE, kFatSector = 0xFFFFFFFD;
constexpr int kSector = 512;

void directoryEntry(Bytes& dir, const QString& name, quint8 type, quint32 child, quint32 start,
                    quint32 size) {
    const qsizetype at = dir.data.size();
    dir.utf16(name);
    dir.zeros(int(64 - (dir.data.size() - at)));
    dir.u16(name.isEmpty() ? 0 : quint16((name.size() + 1) * 2));
    dir.u8(type);
    dir.u8(1);  // black
    dir.u32(kFreeSector);
    dir.u32(kFreeSector);
    dir.u32(child);
    dir.zeros(16 + 4 + 8 + 8);
    dir.u32(start);
    dir.u32(size);
    dir.u32(0);
}

// A compound file holding the one stream "Workbook". Streams below 4096 bytes
// would belong in the mini stream; the workbook is padded up to that size instead.
QByteArray compoundFile(QByteArray stream) {
    if (stream.size() < 4096) stream.append(4096 - stream.size(), '\0');
    const quint32 streamSectors = quint32((stream.size() + kSector - 1) / kSector);
    stream.append(int(streamSectors * kSector - stream.size()), '\0');
    quint32 fatSectors = 1;
    while ((streamSectors + 1 + fatSectors + 127) / 128 > fatSectors) ++fatSectors;
    if (fatSectors > 109)
        throw ReportError(QStringLiteral("보고서가 너무 커서 .xls로 저장할 수 없습니다"));
    const quint32 dirSector = streamSectors;
    const quint32 firstFat = streamSectors + 1;

    Bytes header;
    header.data.append("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    header.zeros(16);
    header.u16(0x003E);
    header.u16(0x0003);
    header.u16(0xFFFE);
    header.u16(0x0009);
    header.u16(0x0006);
    header.zeros(6);
    header.u32(0);
    header.u32(fatSectors);
    header.u32(dirSector);
    header.u32(0);
    header.u32(4096);
    header.u32(kEndOfChain);
    header.u32(0);
    header.u32(kEndOfChain);
    header.u32(0);
    for (quint32 i = 0; i < 109; ++i) header.u32(i < fatSectors ? firstFat + i : kFreeSector);

    Bytes dir;
    directoryEntry(dir, QStringLiteral("Root Entry"), 5, 1, kEndOfChain, 0);
    directoryEntry(dir, QStringLiteral("Workbook"), 2, kFreeSector, 0, quint32(stream.size()));
    directoryEntry(dir, QString(), 0, kFreeSector, 0, 0);
    directoryEntry(dir, QString(), 0, kFreeSector, 0, 0);

    Bytes fat;
    for (quint32 i = 0; i < streamSectors; ++i)
        fat.u32(i + 1 < streamSectors ? i + 1 : kEndOfChain);
    fat.u32(kEndOfChain);
    for (quint32 i = 0; i < fatSectors; ++i) fat.u32(kFatSector);
    while (fat.data.size() < qsizetype(fatSectors) * kSector) fat.u32(kFreeSector);

    return header.data + stream + dir.data + fat.data;
}

}  // namespace

void writeXls(const SettlementReport& report, const QString& path) {
    const SheetRows rows = sheetRows(report);
    if (rows.size() > 65535)
        throw ReportError(QStringLiteral("보고서가 너무 커서 .xls로 저장할 수 없습니다"));
    const QByteArray bytes = compoundFile(workbookStream(rows, sheetColumnWidths(report)));
    replaceFileWith(path, bytes);
}
