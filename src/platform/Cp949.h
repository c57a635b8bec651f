#pragma once

#include <QByteArray>
#include <QString>

#include "platform/Errors.h"

// Raised for text that the Korean code page cannot hold; nothing is ever replaced by "?".
class Cp949Error : public TavolenError {
public:
    using TavolenError::TavolenError;
};

// The Korean ANSI code page (949, with the unified Hangul extension) used by every file the
// desk shares with the outside world. In memory all text stays QString.
class Cp949 {
public:
    // Throws Cp949Error naming the first character that has no CP949 form.
    static QByteArray encode(const QString& text);
    // Never fails on bad input: each byte that starts no valid character becomes U+FFFD.
    static QString decode(const QByteArray& bytes);
};
