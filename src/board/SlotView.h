#pragma once

#include <QString>
#include <QtGlobal>

#include "board/WinColor.h"

// Everything a room panel shows. The window renders it; only the board's
// operations change it. Pictures are file names under the data directory,
// empty for none.
struct SlotView {
    bool visible = false;
    WinColor panelColor = Colors::PanelNormal;
    QString hint;  // the room's memo

    QString buttonCaption = QStringLiteral("호수");
    WinColor buttonFontColor = Colors::Navy;

    QString labelCaption = QStringLiteral("완 료");
    WinColor labelFontColor = Colors::White;
    WinColor labelColor = Colors::Green;
    QString stateImage;

    QString kindGlyphFile = QStringLiteral("imp.bmp");
    bool kindVisible = true;

    QString doorImage;

    QString startText;
    WinColor startColor = Colors::Black;
    QString elapsedText;
    WinColor elapsedFontColor = Colors::White;

    bool operator==(const SlotView&) const = default;
};
