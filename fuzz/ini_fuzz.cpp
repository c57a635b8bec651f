// Random room-state files and writes into them. The input is a file's bytes, a zero byte, then
// writes: each is a section choice, a key choice, a value length and the value's seed bytes.
// Before and after every write the harness reads every key it can find in the file and checks:
//   - the file's one-pass snapshot answers as the key-by-key reads do (after the last write);
//   - a refused write (a line break, text CP949 cannot hold) leaves the file byte for byte;
//   - a written key reads back as written (cut at the 2047-byte limit, never longer);
//   - every other key reads as it did before the write;
//   - every line of the old file but the rewritten one is still there, in its order.
// The file lives in /dev/shm so that millions of writes fit into a short run.
#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

#include "platform/Cp949.h"
#include "store/IniStore.h"

namespace {

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "broken rule: %s\n", what);
        std::abort();
    }
}

QString filePath() {
    static const QString path = [] {
        const QString dir = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm")
                                                                      : QDir::tempPath();
        return dir + QStringLiteral("/tavolen-ini-fuzz-%1.ini").arg(getpid());
    }();
    return path;
}

QByteArray readFile() {
    QFile f(filePath());
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

void writeFile(const QByteArray& bytes) {
    QFile f(filePath());
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(bytes);
}

QList<QByteArray> linesOf(const QByteArray& file) {
    QList<QByteArray> lines = file.split('\n');
    for (QByteArray& l : lines)
        if (l.endsWith('\r')) l.chop(1);
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    return lines;
}

bool encodable(const QString& name) {
    try {
        Cp949::encode(name);
        return true;
    } catch (const Cp949Error&) {
        return false;  // a damaged name in the file: no reader can ask for it
    }
}

// The sections and keys a reader of the file might ask for, found by a plain scan.
std::vector<std::pair<QString, QString>> namesIn(const QByteArray& file) {
    std::vector<std::pair<QString, QString>> names;
    QString section;
    for (const QByteArray& raw : linesOf(file)) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith('[') && line.contains(']')) {
            section = Cp949::decode(line.mid(1, line.indexOf(']') - 1).trimmed());
        } else if (line.contains('=') && !section.isEmpty()) {
            const QString key = Cp949::decode(line.left(line.indexOf('=')).trimmed());
            if (!key.isEmpty() && encodable(section) && encodable(key))
                names.emplace_back(section, key);
        }
        if (names.size() > 64) break;
    }
    return names;
}

const char* const kSections[] = {"rStatus", "Time", "Name", "Memo", "RSTATUS", "메모", "Motel"};
const char* const kKeys[] = {"r1", "R1", "r72", "LName1", "CoName", "키", "x y"};

// Value characters: letters, digits, punctuation the file format cares about, Hangul, and now
// and then a line break or a character CP949 cannot hold, which the store must refuse.
QString valueOf(const uint8_t* seed, size_t size) {
    static const QString alphabet =
        QStringLiteral("abcXYZ019=[];#,.:-_대실숙박완료청소퇴외출가") + QChar(0x20AC);
    QString v;
    for (size_t i = 0; i < size; ++i) {
        const uint8_t b = seed[i];
        if (b == 0xFF)
            v += QLatin1Char('\n');
        else if (b == 0xFE)
            v += QChar(0x263A);  // no CP949 form
        else
            v += alphabet.at(b % alphabet.size());
    }
    return v;
}

struct Reading {
    QString section, key, value;
};

// Every key from one snapshot of the file.
std::vector<Reading> readAll(const IniStore& store,
                             const std::vector<std::pair<QString, QString>>& names) {
    const IniStore::Snapshot snap = store.snapshot();
    std::vector<Reading> out;
    out.reserve(names.size());
    for (const auto& [section, key] : names)
        out.push_back({section, key, snap.readString(section, key, QStringLiteral("\x01missing"))});
    return out;
}

// Each key read on its own (the file read again every time) answers as the snapshot does. It
// costs a file read a key, so it runs once an input, on the file the writes left.
void checkKeyByKey(const IniStore& store, const std::vector<std::pair<QString, QString>>& names) {
    const std::vector<Reading> fromSnapshot = readAll(store, names);
    for (const Reading& r : fromSnapshot)
        check(store.readString(r.section, r.key, QStringLiteral("\x01missing")) == r.value,
              "the snapshot answers as the key-by-key read");
}

bool sameName(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto* zero = static_cast<const uint8_t*>(std::memchr(data, 0, size));
    const size_t fileSize = zero ? size_t(zero - data) : size;
    writeFile(QByteArray(reinterpret_cast<const char*>(data), qsizetype(fileSize)));
    IniStore store(filePath());

    size_t pos = zero ? fileSize + 1 : size;
    std::vector<std::pair<QString, QString>> asked;
    for (int op = 0; op < 8 && pos + 3 <= size; ++op) {
        const QByteArray before = readFile();
        auto names = namesIn(before);
        const QString section = QString::fromUtf8(kSections[data[pos] % std::size(kSections)]);
        const QString key = QString::fromUtf8(kKeys[data[pos + 1] % std::size(kKeys)]);
        const size_t length = std::min<size_t>(data[pos + 2], size - pos - 3);
        const QString value = valueOf(data + pos + 3, length);
        pos += 3 + length;
        names.emplace_back(section, key);
        asked.emplace_back(section, key);
        const std::vector<Reading> old = readAll(store, names);

        bool refused = false;
        try {
            store.writeString(section, key, value);
        } catch (const IniValueError&) {
            refused = true;
        } catch (const Cp949Error&) {
            refused = true;
        }
        const QByteArray after = readFile();
        if (refused) {
            check(after == before, "a refused write leaves the file as it was");
            continue;
        }

        const QString back = store.readString(section, key, QString());
        check(back.size() <= value.size() && QStringView(value).left(back.size()) == back,
              "the written value reads back, cut at most");
        if (Cp949::encode(value).size() <= 2047)
            check(back == value, "the written value reads back");
        for (const Reading& r : readAll(store, names)) {
            if (sameName(r.section, section) && sameName(r.key, key)) continue;
            for (const Reading& o : old)
                if (o.section == r.section && o.key == r.key)
                    check(o.value == r.value, "other keys keep their values");
        }

        // The old lines, less at most the one rewritten, are a subsequence of the new ones.
        const QList<QByteArray> oldLines = linesOf(before);
        const QList<QByteArray> newLines = linesOf(after);
        qsizetype j = 0;
        int skipped = 0;
        for (const QByteArray& line : oldLines) {
            while (j < newLines.size() && newLines[j] != line) ++j;
            if (j == newLines.size()) {
                ++skipped;
                j = 0;  // look for the rest from the start again; order is checked loosely
                continue;
            }
            ++j;
        }
        check(skipped <= 1, "the file's other lines are kept");
    }
    std::vector<std::pair<QString, QString>> names = namesIn(readFile());
    names.insert(names.end(), asked.begin(), asked.end());
    checkKeyByKey(store, names);
    return 0;
}
