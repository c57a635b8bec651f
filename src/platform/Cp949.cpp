#include "platform/Cp949.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// QString's own buffer is handed to iconv, so UTF-16 must be in the machine's byte order.
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
constexpr const char* kUtf16 = "UTF-16LE";
#else
constexpr const char* kUtf16 = "UTF-16BE";
#endif

constexpr size_t kFailed = static_cast<size_t>(-1);

// A converter per direction and thread: opening one per call would dominate the cost of the
// many short values read at start-up, and an iconv handle must not be shared between threads.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (cd_ != invalid()) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    iconv_t get() const {
        if (cd_ == invalid())
            throw Cp949Error(QStringLiteral("CP949 변환기를 열 수 없습니다 (glibc gconv)"));
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        return cd_;
    }

private:
    static iconv_t invalid() { return reinterpret_cast<iconv_t>(-1); }
    iconv_t cd_;
};

iconv_t toCp949() {
    thread_local Converter converter("CP949", kUtf16);
    return converter.get();
}

iconv_t fromCp949() {
    thread_local Converter converter(kUtf16, "CP949");
    return converter.get();
}

// ASCII is the same in both encodings; most keys and values never leave it.
bool isAscii(const QString& text) {
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; });
}

bool isAscii(const QByteArray& bytes) {
    return std::all_of(bytes.cbegin(), bytes.cend(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

char32_t codePointAt(const QString& text, qsizetype i) {
    if (i + 1 < text.size() && text[i].isHighSurrogate() && text[i + 1].isLowSurrogate())
        return QChar::surrogateToUcs4(text[i], text[i + 1]);
    return text[i].unicode();
}

[[noreturn]] void refuse(const QString& text, qsizetype at) {
    const QString hex = QString::number(static_cast<uint>(codePointAt(text, at)), 16).toUpper();
    throw Cp949Error(QStringLiteral("CP949로 나타낼 수 없는 문자가 있습니다: U+%1")
                         .arg(hex, 4, QLatin1Char('0')));
}

// The language tags U+E0000 to U+E007F, which glibc's converters skip without a word (Unicode
// lets a process that has no use for them ignore them): the file cannot hold them, and a value
// must not lose them quietly on its way there. Where the first one starts, or -1.
qsizetype firstLanguageTag(const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char32_t c = codePointAt(text, i);
        if (c >= 0xE0000 && c <= 0xE007F) return i;
    }
    return -1;
}

// Bytes that start no character, each replaced alone, so that a broken lead byte does not
// swallow the valid text after it. One character at a time: where a failed conversion of a
// longer run stops is not to be trusted (glibc steps over an unassigned two-byte code before
// it reports it).
QString decodeByCharacter(const QByteArray& bytes) {
    QString out;
    out.reserve(bytes.size());
    qsizetype i = 0;
    while (i < bytes.size()) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte < 0x80) {
            out += QLatin1Char(char(byte));
            ++i;
            continue;
        }
        // Every other character is a lead byte and one more.
        char16_t units[2];
        char* in = const_cast<char*>(bytes.constData()) + i;
        size_t inLeft = 2;
        char* outPos = reinterpret_cast<char*>(units);
        size_t outLeft = sizeof units;
        if (i + 1 < bytes.size() &&
            iconv(fromCp949(), &in, &inLeft, &outPos, &outLeft) != kFailed && inLeft == 0) {
            out.append(reinterpret_cast<const QChar*>(units),
                       qsizetype((sizeof units - outLeft) / sizeof(char16_t)));
            i += 2;
        } else {
            out += QChar(0xFFFD);
            ++i;
        }
    }
    return out;
}

}  // namespace

QByteArray Cp949::encode(const QString& text) {
    if (isAscii(text)) return text.toLatin1();
    if (const qsizetype tag = firstLanguageTag(text); tag >= 0) refuse(text, tag);

    iconv_t cd = toCp949();
    // A UTF-16 unit never needs more than two CP949 bytes.
    QByteArray out(text.size() * 2, Qt::Uninitialized);
    const char* start = reinterpret_cast<const char*>(text.utf16());
    char* in = const_cast<char*>(start);
    size_t inLeft = text.size() * sizeof(char16_t);
    char* outPos = out.data();
    size_t outLeft = out.size();
    if (iconv(cd, &in, &inLeft, &outPos, &outLeft) == kFailed)
        refuse(text, (in - start) / qsizetype(sizeof(char16_t)));
    out.truncate(outPos - out.data());
    return out;
}

QString Cp949::decode(const QByteArray& bytes) {
    if (isAscii(bytes)) return QString::fromLatin1(bytes);

    iconv_t cd = fromCp949();
    // Every character takes one UTF-16 unit from at least one byte, so the output never
    // outgrows the input's length.
    QString out(bytes.size(), Qt::Uninitialized);
    char* in = const_cast<char*>(bytes.constData());
    size_t inLeft = bytes.size();
    char* outBegin = reinterpret_cast<char*>(out.data());
    char* outPos = outBegin;
    size_t outLeft = out.size() * sizeof(char16_t);
    if (iconv(cd, &in, &inLeft, &outPos, &outLeft) == kFailed) return decodeByCharacter(bytes);
    out.truncate((outPos - outBegin) / qsizetype(sizeof(char16_t)));
    return out;
}
