// The CP949 layer against random bytes and random text:
//   - decoding never fails, and bytes that decode without a replacement character encode back
//     to the same bytes;
//   - text made of the input's UTF-16 units either encodes, and then decodes back to itself, or
//     is refused with Cp949Error; nothing is ever replaced by "?".
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "platform/Cp949.h"

namespace {
void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "broken rule: %s\n", what);
        std::abort();
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString text = Cp949::decode(bytes);
    if (!text.contains(QChar(0xFFFD)))
        check(Cp949::encode(text) == bytes, "valid bytes round-trip through the text");

    QString units;
    for (size_t i = 0; i + 1 < size; i += 2) units += QChar(char16_t(data[i] | (data[i + 1] << 8)));
    try {
        const QByteArray encoded = Cp949::encode(units);
        check(Cp949::decode(encoded) == units, "encoded text decodes to itself");
        check(!encoded.contains('?') || units.contains(QLatin1Char('?')), "nothing becomes ?");
    } catch (const Cp949Error&) {
    }
    return 0;
}
