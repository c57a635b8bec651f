#pragma once

#include <QColor>
#include <QtGlobal>

// Colours as the board stores them: 0x00BBGGRR, red in the low byte.
using WinColor = quint32;

inline QColor toQColor(WinColor c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

namespace Colors {
constexpr WinColor Black = 0x000000;
constexpr WinColor White = 0xFFFFFF;
constexpr WinColor Red = 0x0000FF;
constexpr WinColor Green = 0x008000;
constexpr WinColor Blue = 0xFF0000;
constexpr WinColor Gray = 0x808080;
constexpr WinColor Purple = 0x800080;
constexpr WinColor Yellow = 0x00FFFF;
constexpr WinColor LightPink = 0xC8C6F4;
constexpr WinColor Maroon = 0x000080;
constexpr WinColor Navy = 0x800000;
constexpr WinColor Lime = 0x00FF00;
constexpr WinColor Magenta = 0xFF00FF;
constexpr WinColor Orange = 0x0080FF;
constexpr WinColor PanelNormal = 0xD9DAA5;
constexpr WinColor LogLabelBack = 0xE0EBEB;
}  // namespace Colors
