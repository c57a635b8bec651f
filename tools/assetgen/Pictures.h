#pragma once

#include <QImage>
#include <QString>
#include <vector>

// The board's pictures, drawn at the size they are shown at. Each is drawn on
// the colour of the surface it sits on, since the files carry no transparency.
struct Picture {
    QString file;
    QImage image;
};

std::vector<Picture> makePictures();
