#pragma once

#include <QDialog>
#include <functional>

#include "board/RoomModalWindows.h"

class BoardModel;
class Query;
class QLineEdit;
class QPushButton;
class QTableWidget;
class PaintedFrame;
struct DeskSession;

// The room setup: the room's history and, behind a sign-in, its two fees
// (user or supplier) and its number and key code or a reset (supplier). It
// writes neither the file nor the tables: it returns what was changed, and
// only the fees go straight into the slot.
class RoomSetupWindow : public QDialog {
    Q_OBJECT
public:
    // Outer heights of the three views.
    static constexpr int kCollapsed = 328;
    static constexpr int kFees = 397;
    static constexpr int kFull = 469;

    // `history` is open on the room's rows; `signIn` shows the password
    // window modally over its opener.
    RoomSetupWindow(BoardModel& board, int slot, const QString& room, Query& history,
                    std::function<void(QWidget*)> signIn, QWidget* parent = nullptr);

    int designHeight() const { return designHeight_; }
    const RoomSetupResult& result() const { return result_; }
    // The arrow picture that 룸설정 shows now.
    const QString& arrow() const { return arrow_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void fillGrid(Query& history);
    void setDesignHeight(int height);
    void setArrow(const QString& picture);
    void toggle(int openHeight);
    void toggleSetup();
    void saveFees();
    void saveRoom();
    void onRoomNumberEdited(const QString& text);
    void checkRoomNumber();
    QLineEdit* numberBox(QWidget* area, const QString& name, int maxLength, QRect place,
                         const QColor& colour);

    BoardModel& board_;
    DeskSession& session_;
    int slot_;
    QString room_;  // "호수" for a slot without a room
    RoomSetupResult result_;
    std::function<void(QWidget*)> signIn_;
    int designHeight_ = 0;
    QString arrow_;

    PaintedFrame* background_ = nullptr;
    QTableWidget* historyGrid_ = nullptr;
    QPushButton* setupToggle_ = nullptr;
    QWidget* feeArea_ = nullptr;
    QLineEdit* dayUseFeeBox_ = nullptr;
    QLineEdit* overnightFeeBox_ = nullptr;
    QWidget* roomArea_ = nullptr;
    QLineEdit* roomNumberBox_ = nullptr;
    QLineEdit* keyNumberBox_ = nullptr;
    QPushButton* saveRoomButton_ = nullptr;
    QPushButton* resetButton_ = nullptr;
};
