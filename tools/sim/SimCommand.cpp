#include "SimCommand.h"

#include <QRegularExpression>
#include <QStringList>

namespace {

bool decimal(const QString& word, int low, int high, int* value) {
    bool ok = false;
    *value = word.toInt(&ok, 10);
    return ok && *value >= low && *value <= high;
}

bool hexByte(QString word, char* value) {
    if (word.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) word = word.mid(2);
    bool ok = false;
    const int byte = word.toInt(&ok, 16);
    *value = char(byte);
    return ok && word.size() <= 2 && byte >= 0;
}

}  // namespace

bool SimCommand::parse(const QString& line, SimCommand* command, QString* error) {
    *command = SimCommand();
    const QStringList words =
        line.section(u'#', 0, 0)
            .split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    if (words.isEmpty()) return true;

    const QString verb = words.first().toLower();
    const qsizetype args = words.size() - 1;
    const auto fail = [&](const QString& usage) {
        *error = QStringLiteral("usage: %1").arg(usage);
        return false;
    };

    if (verb == QLatin1String("key") || verb == QLatin1String("code")) {
        const bool byKey = verb == QLatin1String("key");
        const QString usage = byKey ? QStringLiteral("key N EVENT (N 0..127, EVENT 0..255)")
                                    : QStringLiteral("code C EVENT (C 0..255, EVENT 0..255)");
        int first = 0;
        int event = 0;
        if (args != 2 || !decimal(words[1], 0, byKey ? 127 : 255, &first) ||
            !decimal(words[2], 0, 255, &event))
            return fail(usage);
        const int code = byKey ? first + 128 : first;
        command->kind = Kind::Send;
        command->bytes.append(char(code)).append(char(event));
        command->note = byKey ? QStringLiteral("key %1 event %2").arg(first).arg(event)
                              : QStringLiteral("code %1 event %2").arg(code).arg(event);
        return true;
    }
    if (verb == QLatin1String("raw")) {
        if (args < 1) return fail(QStringLiteral("raw HEX HEX ..."));
        QByteArray bytes;
        for (qsizetype i = 1; i < words.size(); ++i) {
            char byte = 0;
            if (!hexByte(words[i], &byte)) return fail(QStringLiteral("raw HEX HEX ..."));
            bytes += byte;
        }
        command->kind = Kind::Send;
        command->bytes = bytes;
        command->note = QStringLiteral("raw");
        return true;
    }
    const struct {
        const char* verb;
        Kind kind;
        int low;
        int high;
        const char* usage;
    } numeric[] = {
        {"noise", Kind::Noise, 1, 1000000, "noise N (1..1000000 random bytes)"},
        {"pace", Kind::Pace, 0, 4000000, "pace BAUD (0 = no pacing)"},
        {"wait", Kind::Wait, 0, 3600000, "wait MS"},
    };
    for (const auto& n : numeric) {
        if (verb != QLatin1String(n.verb)) continue;
        if (args != 1 || !decimal(words[1], n.low, n.high, &command->number))
            return fail(QLatin1String(n.usage));
        command->kind = n.kind;
        return true;
    }
    if (verb == QLatin1String("quit")) {
        if (args != 0) return fail(QStringLiteral("quit"));
        command->kind = Kind::Quit;
        return true;
    }
    *error = QStringLiteral("unknown command \"%1\" (key, code, raw, noise, pace, wait, quit)")
                 .arg(words.first());
    return false;
}
