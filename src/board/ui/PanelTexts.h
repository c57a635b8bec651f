#pragma once

#include <QFont>
#include <QHash>
#include <QStaticText>
#include <QString>

class QPainter;
class QRect;

// The panels' texts, each laid out once and drawn many times: the six state
// words, the times that many panels show alike, the room numbers. A text is
// kept for its font; the whole store is dropped when it grows past a bound (a
// day of minutes in two boxes stays well under it).
class PanelTexts {
public:
    // `text` centred in `box` in `font`, cut at the box's edges.
    void drawCentred(QPainter& painter, const QRect& box, const QFont& font, const QString& text);

private:
    struct Key {
        QFont font;
        QString text;
        bool operator==(const Key& other) const = default;
    };
    friend size_t qHash(const Key& key, size_t seed) {
        return qHashMulti(seed, key.font, key.text);
    }
    static constexpr qsizetype kMaxTexts = 4096;
    QHash<Key, QStaticText> texts_;
};
