#pragma once

#include <QColor>
#include <QImage>
#include <QString>
#include <QWidget>

class QPainter;

// A painted frame: a background (a solid colour, or a picture drawn once or
// tiled, one picture for the active and one for the inactive look), a bevel
// border that may be left open on one side, and a one-line caption. A click
// makes it active for good; only setActive(false) turns it back.
//
// The caption is drawn in the widget's font (family "Arial" unless changed)
// and in its palette's WindowText colour; the bevel takes its colours from the
// palette's Light (button highlight) and Dark (button shadow) roles.
//
// Align is only recorded: placing the frame in its parent is the job of Qt's
// layouts or of the owner's geometry code, so PlaceNone and every other value
// leave the geometry alone.
class PaintedFrame : public QWidget {
    Q_OBJECT
    Q_PROPERTY(Placement Align READ placement WRITE setPlacement)
    Q_PROPERTY(QString Caption READ caption WRITE setCaption)
    Q_PROPERTY(QColor Color READ color WRITE setColor)
    Q_PROPERTY(CaptionAlignment Alignment READ alignment WRITE setAlignment)
    Q_PROPERTY(QImage inactivePicture READ inactivePicture WRITE setInactivePicture)
    Q_PROPERTY(QImage activePicture READ activePicture WRITE setActivePicture)
    Q_PROPERTY(bool active READ isActive WRITE setActive)
    Q_PROPERTY(OpenSide openSide READ openSide WRITE setOpenSide)
    Q_PROPERTY(int Border READ border WRITE setBorder)
    Q_PROPERTY(BevelStyle bevelStyle READ bevelStyle WRITE setBevelStyle)

public:
    enum Placement {
        PlaceNone,
        PlaceTop,
        PlaceBottom,
        PlaceLeft,
        PlaceRight,
        PlaceClient,
        PlaceCustom
    };
    Q_ENUM(Placement)
    enum CaptionAlignment { CaptionLeft, CaptionRight, CaptionCentre };
    Q_ENUM(CaptionAlignment)
    enum OpenSide { NoOpenSide, OpenLeft, OpenRight, OpenTop, OpenBottom };
    Q_ENUM(OpenSide)
    enum BevelStyle { NoBevel, BevelLowered, BevelRaised };
    Q_ENUM(BevelStyle)

    static constexpr int kCaptionMaxChars = 255;

    explicit PaintedFrame(QWidget* parent = nullptr);

    Placement placement() const { return placement_; }
    void setPlacement(Placement placement) { placement_ = placement; }

    QString caption() const { return caption_; }
    void setCaption(const QString& caption);

    QColor color() const { return color_; }
    void setColor(const QColor& color);

    QColor fontColor() const;
    void setFontColor(const QColor& color);

    CaptionAlignment alignment() const { return alignment_; }
    void setAlignment(CaptionAlignment alignment);

    // The frame keeps its own copies of both pictures.
    QImage inactivePicture() const { return inactivePicture_; }
    void setInactivePicture(const QImage& bitmap);  // shown at the next repaint
    QImage activePicture() const { return activePicture_; }
    void setActivePicture(const QImage& bitmap);

    bool isActive() const { return active_; }
    void setActive(bool isActive);

    OpenSide openSide() const { return openSide_; }
    void setOpenSide(OpenSide openSide);

    // Widths of 0 or less are ignored; the frame repaints either way.
    int border() const { return border_; }
    void setBorder(int border);

    BevelStyle bevelStyle() const { return bevelStyle_; }
    void setBevelStyle(BevelStyle style);

    // Activates the frame if it is not active yet, then reports the click.
    void click();

    // Paints the frame as it would look at the given size; paintEvent uses it
    // on the widget, tests on an image.
    void paintFrame(QPainter& painter, const QSize& size) const;

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void paintBackground(QPainter& painter, const QSize& size) const;
    QRect paintBorder(QPainter& painter, const QRect& bounds) const;
    void paintCaption(QPainter& painter, const QRect& area) const;

    Placement placement_ = PlaceNone;
    QString caption_;
    QColor color_;
    CaptionAlignment alignment_ = CaptionCentre;
    QImage inactivePicture_;
    QImage activePicture_;
    bool active_ = false;
    OpenSide openSide_ = NoOpenSide;
    int border_ = 1;
    BevelStyle bevelStyle_ = BevelRaised;
    bool pressed_ = false;
};
