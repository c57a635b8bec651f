#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include "alerts/AlertQueue.h"

struct AlertSettings;

// One alert as the owner reads it: a Korean subject and body with the business name, the time
// and what to do, for the events of one kind sent together (the newest told, the others
// counted).
struct AlertMessage {
    QString kind;
    QString subject;
    QString body;
    QString at;      // the newest event's time at the desk
    int folded = 0;  // events before it, sent with it

    static AlertMessage compose(const AlertSettings& settings, const alertQueue::Batch& batch);

    // The mail as it goes to the server: UTF-8, the subject in RFC 2047 encoded words, the body
    // in base64.
    QByteArray mail(const AlertSettings& settings, const QDateTime& date) const;
    // The webhook's document: {"site", "kind", "subject", "text", "at", "folded"}.
    QByteArray json(const AlertSettings& settings) const;
};

// `text` as RFC 2047 encoded words (UTF-8, base64), each at most 75 characters, joined by
// folding white space; pure ASCII printable text stays as it is.
QByteArray encodedWords(const QString& text);
