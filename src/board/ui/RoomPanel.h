#pragma once

#include <QFont>
#include <QFrame>
#include <array>
#include <optional>

#include "board/SlotView.h"

class PanelPictures;
class PanelTexts;

// One room's panel, drawn by itself: the room button, the state label, the
// stay kind button, the door and state pictures and the two time boxes are
// parts of one widget (roomPanel12), not widgets of their own, so that 72
// panels cost 72 widgets. It shows a SlotView, repaints only the parts whose
// value changed, and forwards clicks on its parts.
class RoomPanel : public QFrame {
    Q_OBJECT
public:
    enum class Part {
        RoomButton,
        StateLabel,
        KindButton,
        DoorPicture,
        StatePicture,
        StartTime,
        ElapsedTime,
    };
    static constexpr int kParts = 7;

    RoomPanel(int slot, PanelPictures& pictures, PanelTexts& texts, QWidget* parent);

    int slot() const { return slot_; }
    void render(const SlotView& view);
    // The board's uniform factor and the room area's sideways one, which
    // place the parts as the panel itself is placed.
    void setScale(double scale, double wide);

    const SlotView& shown() const { return shown_; }
    // Where a part lies in the panel and its text's pixel size (0 for a picture).
    QRect partRect(Part part) const { return rects_[index(part)]; }
    int fontPixels(Part part) const;

signals:
    void roomButtonClicked(int slot);
    void labelClicked(int slot);
    void kindClicked(int slot);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    static std::size_t index(Part part) { return static_cast<std::size_t>(part); }
    // The clickable part under a point, if any.
    std::optional<Part> partAt(const QPoint& point) const;
    void updatePart(Part part) { update(rects_[index(part)]); }
    void setHovered(std::optional<Part> part);
    void paintRoomButton(QPainter& painter);
    void paintKindButton(QPainter& painter);
    void paintTextBox(QPainter& painter, Part part, const QFont& font, WinColor back,
                      WinColor ink, const QString& text);
    void paintPicture(QPainter& painter, Part part, const QString& name);

    int slot_;
    PanelPictures& pictures_;
    PanelTexts& texts_;
    SlotView shown_;
    bool first_ = true;
    QColor background_;
    double scale_ = 1.0;
    double wide_ = 1.0;
    std::array<QRect, kParts> rects_{};
    QFont buttonFont_;
    QFont labelFont_;
    QFont timeFont_;
    // The part a press began on, and the part under the pointer.
    std::optional<Part> pressed_;
    std::optional<Part> hovered_;
};
