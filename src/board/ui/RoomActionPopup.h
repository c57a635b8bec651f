#pragma once

#include <QDialog>
#include <optional>
#include <vector>

#include "board/RoomRules.h"

class QPushButton;

// The room action popup: a question about one room, a button for each action
// the board offers for it (RoomRules' offeredActions) and 취 소. A button
// chooses its action and closes the popup; 취 소 and the close box choose
// nothing. The popup changes nothing in the room itself.
class RoomActionPopup : public QDialog {
    Q_OBJECT
public:
    RoomActionPopup(const RoomOffer& offer, const QString& room, QWidget* parent = nullptr);

    // The buttons left to right, 취 소 last.
    const std::vector<QPushButton*>& buttons() const { return buttons_; }
    QString prompt() const;
    std::optional<RoomAction> chosen() const { return chosen_; }

private:
    std::optional<RoomAction> chosen_;
    std::vector<QPushButton*> buttons_;
    QString prompt_;
};
