#include "settlement/NumberFormat.h"

QString commaInsert(const QString& digits) {
    if (digits.isEmpty()) return QStringLiteral("0");
    QString out;
    out.reserve(digits.size() + digits.size() / 3);
    const qsizetype n = digits.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0) out += QLatin1Char(',');
        out += digits.at(i);
    }
    return out;
}

QString numberFormat(const QString& text) {
    bool commaSeen = false;
    for (const QChar c : text) {
        if (c == QLatin1Char(','))
            commaSeen = true;
        else if (!(c >= QLatin1Char('0') && c <= QLatin1Char('9')) && !commaSeen)
            return text;
    }
    if (text.isEmpty()) return text;
    const QChar last = text.back();
    if (!(last >= QLatin1Char('0') && last <= QLatin1Char('9'))) return text;
    if (!commaSeen) return commaInsert(text);
    QString stripped = text;
    stripped.remove(QLatin1Char(','));
    return stripped;
}
