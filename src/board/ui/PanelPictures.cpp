#include "board/ui/PanelPictures.h"

#include "platform/Assets.h"

const QPixmap& PanelPictures::original(const QString& name) {
    auto it = originals_.find(name);
    if (it == originals_.end()) {
        QPixmap pixmap;
        try {
            pixmap = QPixmap::fromImage(assets_.picture(name));
        } catch (const std::exception&) {
            // Shown empty; the board reported it when it chose the picture.
        }
        it = originals_.insert(name, pixmap);
    }
    return *it;
}

QPixmap PanelPictures::scaled(const QString& name, const QSize& size) {
    if (name.isEmpty() || size.isEmpty()) return QPixmap();
    const QString key = name + QLatin1Char('@') + QString::number(size.width()) + QLatin1Char('x') +
                        QString::number(size.height());
    auto it = scaled_.find(key);
    if (it == scaled_.end()) {
        const QPixmap& source = original(name);
        it = scaled_.insert(key, source.isNull() ? source
                                                 : source.scaled(size, Qt::IgnoreAspectRatio,
                                                                 Qt::SmoothTransformation));
    }
    return *it;
}

QPixmap PanelPictures::fitted(const QString& name, const QSize& box) {
    if (name.isEmpty()) return QPixmap();
    const QSize own = original(name).size();
    const bool fits = own.boundedTo(box) == own;
    return scaled(name, fits ? own : own.scaled(box, Qt::KeepAspectRatio));
}
