#pragma once

#include <QHash>
#include <QPixmap>
#include <QSize>
#include <QString>

class Assets;

// The pictures of the room panels, each converted once and scaled once per
// size: 72 panels show the same few pictures, and a panel that changes its
// state takes the one already made.
class PanelPictures {
public:
    explicit PanelPictures(Assets& assets) : assets_(assets) {}

    // The picture at `size`; a null pixmap for no name or a picture that
    // cannot be read (the board's operation that chose it has reported it).
    QPixmap scaled(const QString& name, const QSize& size);
    // The picture in its own shape, made smaller to fit `box` but never larger.
    QPixmap fitted(const QString& name, const QSize& box);

private:
    const QPixmap& original(const QString& name);

    Assets& assets_;
    QHash<QString, QPixmap> originals_;
    QHash<QString, QPixmap> scaled_;
};
