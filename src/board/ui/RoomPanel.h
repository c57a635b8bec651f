#pragma once

#include <QFrame>

#include "board/SlotView.h"

class DesignScaler;
class PanelPictures;
class QLabel;
class QPushButton;
class QToolButton;

// One room's panel with its seven controls, named after the slot
// (roomPanel12, roomButton12, stateLabel12, stayKindButton12, doorImage12,
// stateImage12, startTime12, elapsedTime12). It shows a SlotView and
// forwards clicks.
class RoomPanel : public QFrame {
    Q_OBJECT
public:
    RoomPanel(int slot, PanelPictures& pictures, DesignScaler& scaler, QWidget* parent);

    int slot() const { return slot_; }
    void render(const SlotView& view);

signals:
    void roomButtonClicked(int slot);
    void labelClicked(int slot);
    void kindClicked(int slot);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showStatePicture();
    void showDoorPicture();

    int slot_;
    PanelPictures& pictures_;
    SlotView shown_;
    bool first_ = true;
    bool laidOut_ = false;
    QColor background_;
    QPushButton* button_;
    QLabel* label_;
    QToolButton* kind_;
    QLabel* door_;
    QLabel* state_;
    QLabel* start_;
    QLabel* elapsed_;
};
