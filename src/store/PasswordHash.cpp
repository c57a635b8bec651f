#include "store/PasswordHash.h"

#include <sodium.h>

#include "store/Database.h"

namespace passwordHash {
namespace {

void initSodium() {
    if (sodium_init() < 0) throw DatabaseError(QStringLiteral("암호 모듈을 초기화할 수 없습니다"));
}

}  // namespace

QString make(const QString& text) {
    initSodium();
    const QByteArray utf8 = text.toUtf8();
    char hash[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(hash, utf8.constData(), static_cast<unsigned long long>(utf8.size()),
                          crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        throw DatabaseError(QStringLiteral("암호를 만들 수 없습니다 (메모리 부족)"));
    return QString::fromLatin1(hash);
}

bool isHash(const QString& stored) { return stored.startsWith(QLatin1String("$argon2")); }

bool matches(const QString& hash, const QString& text) {
    initSodium();
    const QByteArray stored = hash.toLatin1();
    if (stored.size() >= crypto_pwhash_STRBYTES) return false;
    const QByteArray utf8 = text.toUtf8();
    return crypto_pwhash_str_verify(stored.constData(), utf8.constData(),
                                    static_cast<unsigned long long>(utf8.size())) == 0;
}

}  // namespace passwordHash
