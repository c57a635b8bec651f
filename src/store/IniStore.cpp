#include "store/IniStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArrayView>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <utility>

#include "platform/Cp949.h"

// The file is scanned as raw CP949 bytes. The second byte of a CP949 character is an ASCII
// letter or a high byte, never punctuation, a blank or a line end, so "[", "]", "=" and line
// ends are found by a plain byte scan; only the value asked for is decoded.

namespace {

constexpr qsizetype kMaxValueBytes = 2047;

bool isBlank(char c) { return c == ' ' || c == '\t'; }

bool isLeadByte(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b >= 0x81 && b <= 0xFE;
}

char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

QByteArrayView trimmed(QByteArrayView v) {
    qsizetype begin = 0;
    qsizetype end = v.size();
    while (begin < end && isBlank(v[begin])) ++begin;
    while (end > begin && isBlank(v[end - 1])) --end;
    return v.sliced(begin, end - begin);
}

// A section or key name as asked for, compared with the file's spelling without regard to case.
struct Name {
    explicit Name(const QString& name)
        : text(name),
          bytes(Cp949::encode(name)),
          ascii(std::all_of(bytes.cbegin(), bytes.cend(),
                            [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {}

    bool matches(QByteArrayView candidate) const {
        if (!ascii)
            return Cp949::decode(candidate.toByteArray()).compare(text, Qt::CaseInsensitive) == 0;
        if (candidate.size() != bytes.size()) return false;
        for (qsizetype i = 0; i < bytes.size(); ++i)
            if (asciiLower(candidate[i]) != asciiLower(bytes[i])) return false;
        return true;
    }

    QString text;
    QByteArray bytes;
    bool ascii;
};

// Where a key stands in the file, as byte offsets.
struct Location {
    qsizetype valueBegin = -1;  // just after the "=" of the key's line; -1 when the key is missing
    qsizetype valueEnd = -1;    // the end of that line, before its line ending
    qsizetype sectionEnd = -1;  // after the last key line of the first matching section (or its
                                // header); -1 when the section is missing
};

// One line of the file: [begin, end) is its text without the line ending, next is where the
// following line starts.
struct Line {
    qsizetype begin;
    qsizetype end;
    qsizetype next;
};

Line lineAt(QByteArrayView file, qsizetype begin) {
    const char* data = file.data();
    const auto* newline =
        static_cast<const char*>(std::memchr(data + begin, '\n', file.size() - begin));
    const qsizetype next = newline ? newline - data + 1 : file.size();
    qsizetype end = newline ? newline - data : file.size();
    // A stray carriage return (a file ending in one, then extended) is no part of the value.
    while (end > begin && data[end - 1] == '\r') --end;
    return {begin, end, next};
}

// The name of a section line ("[name]" after any blanks); nothing for any other line.
std::optional<QByteArrayView> sectionName(QByteArrayView file, const Line& line) {
    qsizetype open = line.begin;
    while (open < line.end && isBlank(file[open])) ++open;
    if (open == line.end || file[open] != '[') return std::nullopt;
    const char* name = file.data() + open + 1;
    const auto* close = static_cast<const char*>(std::memchr(name, ']', line.end - open - 1));
    if (!close) return std::nullopt;
    return trimmed(QByteArrayView(name, close - name));
}

struct Section {
    Line line;
    QByteArrayView name;
};

// The first section line at or after `from`, a line start. Only a "[" can open one, so the key
// lines between are passed over by looking for that byte alone: the board reads the whole file
// once per key at start-up.
std::optional<Section> nextSection(QByteArrayView file, qsizetype from) {
    const char* data = file.data();
    qsizetype pos = from;
    while (pos < file.size()) {
        const auto* bracket =
            static_cast<const char*>(std::memchr(data + pos, '[', file.size() - pos));
        if (!bracket) return std::nullopt;
        qsizetype begin = bracket - data;
        while (begin > from && isBlank(data[begin - 1])) --begin;
        if (begin > from && data[begin - 1] != '\n') {
            pos = bracket - data + 1;  // a "[" inside a line
            continue;
        }
        const Line line = lineAt(file, begin);
        if (const auto name = sectionName(file, line)) return Section{line, *name};
        pos = line.next;
    }
    return std::nullopt;
}

// The first line for the key in any section of that name; a new key goes to the first section.
Location locate(QByteArrayView file, const Name& section, const Name& key) {
    Location found;
    qsizetype pos = 0;
    while (const auto header = nextSection(file, pos)) {
        pos = header->line.next;
        if (!section.matches(header->name)) continue;
        const bool firstSection = found.sectionEnd < 0;
        if (firstSection) found.sectionEnd = pos;
        while (pos < file.size()) {
            const Line line = lineAt(file, pos);
            if (sectionName(file, line)) break;
            const char* text = file.data() + line.begin;
            const auto* eq =
                static_cast<const char*>(std::memchr(text, '=', line.end - line.begin));
            if (eq) {
                if (firstSection) found.sectionEnd = line.next;
                if (key.matches(trimmed(QByteArrayView(text, eq - text)))) {
                    found.valueBegin = eq - file.data() + 1;
                    found.valueEnd = line.end;
                    return found;
                }
            }
            pos = line.next;
        }
    }
    return found;
}

// At most kMaxValueBytes, never ending inside a double-byte character.
QByteArrayView cut(QByteArrayView value) {
    if (value.size() <= kMaxValueBytes) return value;
    qsizetype end = 0;
    for (;;) {
        const qsizetype step = isLeadByte(value[end]) ? 2 : 1;
        if (end + step > kMaxValueBytes) break;
        end += step;
    }
    return value.first(end);
}

// New lines follow the file's own line ending; a new file gets CRLF, as the desk's files
// always had.
QByteArray lineEnding(QByteArrayView file) {
    if (file.isEmpty()) return "\r\n";
    const auto* newline = static_cast<const char*>(std::memchr(file.data(), '\n', file.size()));
    if (newline && (newline == file.data() || newline[-1] != '\r')) return "\n";
    return "\r\n";
}

// Every other byte of the file stays as it was: only the key's value changes, or a key line is
// added after the last key of its section, or the section is added at the end.
// Taken by value, so that a caller that hands over its only copy has it changed in place.
QByteArray withValue(QByteArray file, const Name& section, const Name& key,
                     const QByteArray& value) {
    const Location found = locate(file, section, key);
    QByteArray out = std::move(file);
    if (found.valueBegin >= 0)
        return out.replace(found.valueBegin, found.valueEnd - found.valueBegin, value);

    const QByteArray eol = lineEnding(out);
    const bool lastLineOpen = !out.isEmpty() && !out.endsWith('\n');
    QByteArray keyLine = key.bytes + '=' + value + eol;
    if (found.sectionEnd >= 0) {
        if (found.sectionEnd == out.size() && lastLineOpen) keyLine.prepend(eol);
        return out.insert(found.sectionEnd, keyLine);
    }
    if (lastLineOpen) out += eol;
    return out + '[' + section.bytes + ']' + eol + keyLine;
}

// False, with errno set, when the file cannot be read.
bool readWholeFile(const QByteArray& path, QByteArray& bytes, mode_t& mode) {
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return false;
    }
    mode = st.st_mode & 07777;
    // One byte of room more than the size, so that the end is seen without growing the buffer.
    bytes.resize(qsizetype(st.st_size) + 1);
    qsizetype got = 0;
    for (;;) {
        if (got == bytes.size()) bytes.resize(bytes.size() * 2);
        const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            errno = error;
            return false;
        }
        if (n == 0) break;
        got += n;
    }
    ::close(fd);
    bytes.truncate(got);
    return true;
}

bool writeAll(int fd, const QByteArray& bytes) {
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, left);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        data += n;
        left -= n;
    }
    return true;
}

bool syncDirectoryOf(const QString& path) {
    const QByteArray directory = QFile::encodeName(QFileInfo(path).absolutePath());
    const int dirFd = ::open(directory.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) return false;
    // Some file systems cannot flush a directory (EINVAL); the rename is then as safe as they
    // make it.
    const bool synced = ::fsync(dirFd) == 0 || errno == EINVAL;
    ::close(dirFd);
    return synced;
}

// Writes a temporary file beside the old one, flushes it to the disk and renames it over the
// old one, then flushes the directory: after a crash or a power cut the path holds either the
// old bytes or the new ones. On failure the temporary file is removed and the old one is left.
// Without the directory's flush a power cut may also bring back an earlier file.
bool replaceFile(const QString& path, const QByteArray& bytes, std::optional<mode_t> mode,
                 bool syncDirectory = true) {
    const QByteArray target = QFile::encodeName(path);
    const QByteArray temporary = target + ".tmp";
    const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    const bool written =
        (!mode || ::fchmod(fd, *mode) == 0) && writeAll(fd, bytes) && ::fsync(fd) == 0;
    if (::close(fd) != 0 || !written || ::rename(temporary.constData(), target.constData()) != 0) {
        ::unlink(temporary.constData());
        return false;
    }
    return !syncDirectory || syncDirectoryOf(path);
}

void refuseUnwritable(const QString& section, const QString& key, const QString& value) {
    const auto breaksLine = [](const QString& s) { return s.contains(u'\n') || s.contains(u'\r'); };
    if (breaksLine(section) || section.contains(u']'))
        throw IniValueError(QStringLiteral("INI 섹션 이름으로 쓸 수 없습니다: %1").arg(section));
    if (breaksLine(key) || key.contains(u'='))
        throw IniValueError(QStringLiteral("INI 키 이름으로 쓸 수 없습니다: %1").arg(key));
    if (breaksLine(value))
        throw IniValueError(
            QStringLiteral("줄바꿈이 든 값은 [%1] %2에 쓸 수 없습니다").arg(section, key));
}

// Decimal, or "0x" and hexadecimal digits (taken as the 32 bits of the number); anything else,
// an empty text included, is no number.
std::optional<qint32> parseInteger(QStringView text) {
    const bool negative = text.startsWith(u'-');
    if (negative || text.startsWith(u'+')) text = text.sliced(1);
    const bool hex = text.startsWith(u"0x", Qt::CaseInsensitive);
    if (hex) text = text.sliced(2);
    if (text.isEmpty()) return std::nullopt;

    const quint64 limit = hex ? 0xFFFFFFFFu : negative ? 0x80000000u : 0x7FFFFFFFu;
    quint64 magnitude = 0;
    for (const QChar c : text) {
        const int digit = c.isDigit() && c.unicode() < 0x80 ? c.unicode() - '0'
                          : hex && c.toLower() >= u'a' && c.toLower() <= u'f'
                              ? c.toLower().unicode() - 'a' + 10
                              : -1;
        if (digit < 0) return std::nullopt;
        magnitude = magnitude * (hex ? 16 : 10) + digit;
        if (magnitude > limit) return std::nullopt;
    }
    const auto bits = static_cast<quint32>(magnitude);
    return static_cast<qint32>(negative ? 0u - bits : bits);
}

}  // namespace

IniStore::IniStore(QString path) : path_(std::move(path)) {}

IniStore::Snapshot IniStore::snapshot() const {
    Snapshot taken;
    mode_t mode = 0;
    // An unreadable file reads as a missing one, so the board still starts with its defaults.
    if (!readWholeFile(QFile::encodeName(path_), taken.file_, mode)) taken.file_.clear();
    {
        const std::lock_guard<std::mutex> hold(last_->lock);
        if (last_->snapshot.file_ == taken.file_) return last_->snapshot;
    }
    taken.index();
    const std::lock_guard<std::mutex> hold(last_->lock);
    last_->snapshot = taken;
    return taken;
}

namespace {
// A section or key name as the index keeps it: ASCII names lowered byte by byte, others decoded
// and case-folded, as Name::matches compares them. Appended to `out`.
void appendFolded(QByteArray& out, QByteArrayView name) {
    const bool ascii = std::all_of(name.begin(), name.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (!ascii) {
        out += Cp949::decode(name.toByteArray()).toCaseFolded().toUtf8();
        return;
    }
    const qsizetype at = out.size();
    out.resize(at + name.size());
    std::transform(name.begin(), name.end(), out.begin() + at, asciiLower);
}

// The same for a name asked for; the board's own names are ASCII and skip the encoding.
void appendAskedName(QByteArray& out, const QString& name) {
    const bool ascii = std::all_of(name.cbegin(), name.cend(),
                                   [](QChar c) { return c.unicode() < 0x80; });
    if (!ascii) {
        appendFolded(out, Cp949::encode(name));
        return;
    }
    const qsizetype at = out.size();
    out.resize(at + name.size());
    for (qsizetype i = 0; i < name.size(); ++i)
        out[at + i] = asciiLower(static_cast<char>(name.at(i).unicode()));
}

size_t nameHash(QByteArrayView name) { return qHash(name, 0); }
}  // namespace

// The same answers as locate(): the first line of the key in any section of that name.
void IniStore::Snapshot::index() {
    const QByteArrayView file(file_);
    names_.clear();
    entries_.clear();
    table_.clear();
    names_.reserve(file.size() + 64);
    // About one key a line: room for them all at once.
    entries_.reserve(file.count('\n') + 1);
    QByteArray section;  // the folded name and its '\0'
    bool inSection = false;
    qsizetype pos = 0;
    while (pos < file.size()) {
        const Line line = lineAt(file, pos);
        pos = line.next;
        if (const auto name = sectionName(file, line)) {
            section.clear();
            appendFolded(section, *name);
            section += '\0';
            inSection = true;
            continue;
        }
        if (!inSection) continue;
        const char* text = file.data() + line.begin;
        const auto* eq = static_cast<const char*>(std::memchr(text, '=', line.end - line.begin));
        if (!eq) continue;
        const qsizetype nameBegin = names_.size();
        names_ += section;
        appendFolded(names_, trimmed(QByteArrayView(text, eq - text)));
        const qsizetype nameSize = names_.size() - nameBegin;
        entries_.append({nameHash(QByteArrayView(names_).sliced(nameBegin, nameSize)), nameBegin,
                         nameSize, eq - file.data() + 1, line.end});
    }

    qsizetype places = 16;
    while (places < 2 * entries_.size()) places *= 2;
    table_.fill(0, places);
    const QByteArrayView names(names_);
    for (qsizetype i = 0; i < entries_.size(); ++i) {
        const Entry& entry = entries_.at(i);
        const QByteArrayView name = names.sliced(entry.nameBegin, entry.nameSize);
        for (size_t at = entry.hash;; ++at) {
            qint32& place = table_[qsizetype(at & size_t(places - 1))];
            if (place == 0) {
                place = qint32(i + 1);
                break;
            }
            // A key met again, in this section or another of the same name: the first stands.
            const Entry& held = entries_.at(place - 1);
            if (held.hash == entry.hash && names.sliced(held.nameBegin, held.nameSize) == name)
                break;
        }
    }
}

std::optional<QByteArrayView> IniStore::Snapshot::find(QByteArrayView name) const {
    if (table_.isEmpty()) return std::nullopt;
    const size_t hash = nameHash(name);
    const size_t mask = size_t(table_.size() - 1);
    const QByteArrayView names(names_);
    for (size_t at = hash;; ++at) {
        const qint32 place = table_.at(qsizetype(at & mask));
        if (place == 0) return std::nullopt;
        const Entry& entry = entries_.at(place - 1);
        if (entry.hash == hash && names.sliced(entry.nameBegin, entry.nameSize) == name)
            return QByteArrayView(file_.constData() + entry.valueBegin,
                                  entry.valueEnd - entry.valueBegin);
    }
}

QString IniStore::Snapshot::readString(const QString& section, const QString& key,
                                       const QString& def) const {
    QByteArray wanted;
    wanted.reserve(section.size() + key.size() + 1);
    appendAskedName(wanted, section);
    wanted += '\0';
    appendAskedName(wanted, key);
    const std::optional<QByteArrayView> line = find(wanted);
    if (!line) return def;
    // Decoded straight from the file's bytes, without a copy of them.
    const QByteArrayView value = cut(trimmed(*line));
    return Cp949::decode(QByteArray::fromRawData(value.data(), value.size()));
}

qint32 IniStore::Snapshot::readInteger(const QString& section, const QString& key,
                                       qint32 def) const {
    return parseInteger(readString(section, key, QString())).value_or(def);
}

QString IniStore::readString(const QString& section, const QString& key, const QString& def) const {
    return snapshot().readString(section, key, def);
}

void IniStore::writeString(const QString& section, const QString& key, const QString& value) {
    writeStrings({{section, key, value}});
}

void IniStore::writeStrings(const QList<Change>& changes) {
    for (const Change& c : changes) {
        checkWritable(c);
        Cp949::encode(c.value);  // refused before the file is read
    }

    QByteArray file;
    mode_t mode = 0;
    std::optional<mode_t> oldMode;
    if (readWholeFile(QFile::encodeName(path_), file, mode))
        oldMode = mode;
    else if (errno != ENOENT)
        throw IniWriteError(QStringLiteral("Unable to write to ") + path_);

    const QByteArray updated = withChanges(file, changes);
    // The file already holds exactly this; replacing it would only cost a flush.
    if (oldMode && updated == file) return;
    if (!replaceFile(path_, updated, oldMode))
        throw IniWriteError(QStringLiteral("Unable to write to ") + path_);
}

void IniStore::checkWritable(const Change& change) {
    refuseUnwritable(change.section, change.key, change.value);
}

QByteArray IniStore::withChanges(const QByteArray& file, const QList<Change>& changes) {
    QByteArray out = file;
    for (const Change& c : changes)
        out = withValue(std::move(out), Name(c.section), Name(c.key), Cp949::encode(c.value));
    return out;
}

QByteArray IniStore::bytes() const {
    QByteArray file;
    mode_t mode = 0;
    if (!readWholeFile(QFile::encodeName(path_), file, mode)) {
        if (errno != ENOENT) throw IniWriteError(QStringLiteral("Unable to read ") + path_);
        file.clear();
    }
    return file;
}

void IniStore::syncDirectory() {
    if (!syncDirectoryOf(path_)) throw IniWriteError(QStringLiteral("Unable to write to ") + path_);
}

void IniStore::replace(const QByteArray& bytes, bool syncDirectory) {
    // The new file keeps the old one's permissions.
    struct stat st {};
    std::optional<mode_t> oldMode;
    if (::stat(QFile::encodeName(path_).constData(), &st) == 0) oldMode = st.st_mode & 07777;
    if (!replaceFile(path_, bytes, oldMode, syncDirectory))
        throw IniWriteError(QStringLiteral("Unable to write to ") + path_);
}

qint32 IniStore::readInteger(const QString& section, const QString& key, qint32 def) const {
    return snapshot().readInteger(section, key, def);
}

void IniStore::writeInteger(const QString& section, const QString& key, qint32 value) {
    writeString(section, key, QString::number(value));
}
