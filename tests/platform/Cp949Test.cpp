#include <gtest/gtest.h>

#include "platform/Cp949.h"

namespace {

struct Pair {
    const char* name;
    QString text;
    QByteArray bytes;
};

// Texts the desk stores, with their bytes in the Korean code page.
const Pair kPairs[] = {
    {"ascii", QStringLiteral("COM2"), QByteArray("COM2")},
    {"state label", QStringLiteral("대 실"), QByteArray("\xB4\xEB \xBD\xC7")},
    {"hangul extension", QStringLiteral("갂"), QByteArray("\x81\x41")},
    {"backslash", QStringLiteral("DB\\Backup"), QByteArray("DB\\Backup")},
    {"mixed", QStringLiteral("101호 숙박"), QByteArray("101\xC8\xA3 \xBC\xF7\xB9\xDA")},
    {"hanja", QStringLiteral("漢"), QByteArray("\xF9\xD3")},
    {"empty", QString(), QByteArray()},
};

TEST(Cp949Test, KnownTextsRoundTripThroughTheirBytes) {
    for (const Pair& pair : kPairs) {
        SCOPED_TRACE(pair.name);
        EXPECT_EQ(Cp949::encode(pair.text), pair.bytes);
        EXPECT_EQ(Cp949::decode(pair.bytes), pair.text);
    }
}

TEST(Cp949Test, EncodeRefusesTextOutsideTheCodePageNamingTheCharacter) {
    const struct {
        QString text;
        const char* codePoint;
    } cases[] = {
        {QStringLiteral("메모 😀"), "U+1F600"},
        {QStringLiteral("ก"), "U+0E01"},
        {QString(QChar(0xD800)) + u'a', "U+D800"},  // a lone surrogate
        // A language tag, which the system's converter would drop without a word.
        {QStringLiteral("@") + QChar(0xDB40) + QChar(0xDC03), "U+E0003"},
        {QStringLiteral("객실 ") + QChar(0xDB40) + QChar(0xDC7F), "U+E007F"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.codePoint);
        try {
            Cp949::encode(c.text);
            ADD_FAILURE() << "no error";
        } catch (const Cp949Error& e) {
            EXPECT_TRUE(e.text().contains(QLatin1String(c.codePoint))) << e.what();
        }
    }
}

TEST(Cp949Test, DecodeReplacesOnlyTheBrokenBytes) {
    const struct {
        const char* name;
        QByteArray bytes;
        QString text;
    } cases[] = {
        {"stray high byte",
         QByteArray("A\x80"
                    "B"),
         QStringLiteral("A\uFFFDB")},
        {"0xFF", QByteArray("\xFF"), QStringLiteral("\uFFFD")},
        {"lead byte cut off at the end", QByteArray("\xB4\xEB\xB4"), QStringLiteral("대\uFFFD")},
        {"lead byte before a space", QByteArray("\xB4 x"), QStringLiteral("\uFFFD x")},
        {"between valid text", QByteArray("\xB4\xEB\x80\xBD\xC7"), QStringLiteral("대\uFFFD실")},
        // glibc reports these after stepping over both bytes.
        {"unassigned two-byte code at the end", QByteArray("\xA2\xE8"),
         QStringLiteral("\uFFFD\uFFFD")},
        {"unassigned two-byte code before text",
         QByteArray("\xA2\xE8"
                    "AB"),
         QStringLiteral("\uFFFD\uFFFDAB")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Cp949::decode(c.bytes), c.text);
    }
}

}  // namespace
