#pragma once

#include <QString>
#include <stdexcept>

// Every error that reaches the standard error box carries its text as UTF-8.
class TavolenError : public std::runtime_error {
public:
    explicit TavolenError(const QString& text) : std::runtime_error(text.toStdString()) {}
    QString text() const { return QString::fromUtf8(what()); }
};

inline QString errorText(const std::exception& e) { return QString::fromUtf8(e.what()); }
