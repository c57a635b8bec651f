#pragma once

#include <QColor>
#include <QImage>
#include <QString>
#include <QWidget>

class QPainter;

// A painted frame: a background (a solid colour, or a picture drawn once or
// tiled, one picture for the active and one for the inactive look), a bevel
// border that may be left open on one side, and a one-line caption. A click
// makes it active for good; only setActived(false) turns it back.
//
// The caption is drawn in the widget's font (family "Arial" unless changed)
// and in its palette's WindowText colour; the bevel takes its colours from the
// palette's Light (button highlight) and Dark (button shadow) roles.
//
// Align is only recorded: placing the frame in its parent is the job of Qt's
// layouts or of the owner's geometry code, so alNone and every other value
// leave the geometry alone.
class TMFrame : public QWidget {
    Q_OBJECT
    Q_PROPERTY(TAlign Align READ align WRITE setAlign)
    Q_PROPERTY(QString Caption READ caption WRITE setCaption)
    Q_PROPERTY(QColor Color READ color WRITE setColor)
    Q_PROPERTY(TAlignment Alignment READ alignment WRITE setAlignment)
    Q_PROPERTY(QImage InActiveBitmap READ inActiveBitmap WRITE setInActiveBitmap)
    Q_PROPERTY(QImage ActiveBitmap READ activeBitmap WRITE setActiveBitmap)
    Q_PROPERTY(bool Actived READ actived WRITE setActived)
    Q_PROPERTY(Tattach Attach READ attach WRITE setAttach)
    Q_PROPERTY(int Border READ border WRITE setBorder)
    Q_PROPERTY(TBevelStyle BorderStyle READ borderStyle WRITE setBorderStyle)

  public:
    enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient, alCustom };
    Q_ENUM(TAlign)
    enum TAlignment { taLeftJustify, taRightJustify, taCenter };
    Q_ENUM(TAlignment)
    enum Tattach { Atnone, AtLeft, Atright, Attop, AtBottom };
    Q_ENUM(Tattach)
    enum TBevelStyle { Bsnone, bsLowered, bsRaised };
    Q_ENUM(TBevelStyle)

    static constexpr int kCaptionMaxChars = 255;

    explicit TMFrame(QWidget* parent = nullptr);

    TAlign align() const { return align_; }
    void setAlign(TAlign align) { align_ = align; }

    QString caption() const { return caption_; }
    void setCaption(const QString& caption);

    QColor color() const { return color_; }
    void setColor(const QColor& color);

    QColor fontColor() const;
    void setFontColor(const QColor& color);

    TAlignment alignment() const { return alignment_; }
    void setAlignment(TAlignment alignment);

    // The frame keeps its own copies of both pictures.
    QImage inActiveBitmap() const { return inActiveBitmap_; }
    void setInActiveBitmap(const QImage& bitmap);  // shown at the next repaint
    QImage activeBitmap() const { return activeBitmap_; }
    void setActiveBitmap(const QImage& bitmap);

    bool actived() const { return actived_; }
    void setActived(bool actived);

    Tattach attach() const { return attach_; }
    void setAttach(Tattach attach);

    // Widths of 0 or less are ignored; the frame repaints either way.
    int border() const { return border_; }
    void setBorder(int border);

    TBevelStyle borderStyle() const { return borderStyle_; }
    void setBorderStyle(TBevelStyle style);

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

    TAlign align_ = alNone;
    QString caption_;
    QColor color_;
    TAlignment alignment_ = taCenter;
    QImage inActiveBitmap_;
    QImage activeBitmap_;
    bool actived_ = false;
    Tattach attach_ = Atnone;
    int border_ = 1;
    TBevelStyle borderStyle_ = bsRaised;
    bool pressed_ = false;
};
