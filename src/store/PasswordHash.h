#pragma once

#include <QString>

// The salted, slow hashes every stored password is kept as (argon2id through libsodium).
namespace passwordHash {

// Raises DatabaseError when the hash cannot be made (out of memory).
QString make(const QString& text);
// Hashes carry their method in front; anything else stored is a password written as it is.
bool isHash(const QString& stored);
bool matches(const QString& hash, const QString& text);

}  // namespace passwordHash
