#pragma once

#include <QDialog>
#include <array>

#include "board/DeskWindows.h"

class QFrame;
class QLabel;
class QPushButton;

// The room action popup: a question about one room and the buttons that make
// sense for its mode (1 to 9). A button chooses RoomAction 10 + its number and
// closes the popup; the close box chooses nothing. The popup changes nothing
// in the room itself.
class RoomActionPopup : public QDialog {
    Q_OBJECT
public:
    static constexpr int kButtons = 14;

    RoomActionPopup(int mode, const QString& room, QWidget* parent = nullptr);

    QPushButton* button(int number) const {
        return buttons_.at(static_cast<std::size_t>(number - 1));
    }
    QString prompt() const;
    RoomAction chosen() const { return chosen_; }

private:
    void showMode(int mode, const QString& room);
    void choose(int number);

    RoomAction chosen_ = RoomAction::None;
    QFrame* buttonArea_ = nullptr;
    QFrame* questionArea_ = nullptr;
    QLabel* question_ = nullptr;
    std::array<QPushButton*, kButtons> buttons_{};
};
