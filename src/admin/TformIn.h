#pragma once

#include <QDialog>
#include <functional>

class BoardModel;
class Query;
class QLineEdit;
class QPushButton;
class QTableWidget;
class TMFrame;
struct SharedValues;

// The room setup: the room's history and, behind a sign-in, its two fees
// (user or supplier) and its number and key code or a reset (supplier). It
// writes neither the file nor the tables: its results go to the board
// through the shared values, and only the fees straight into the slot.
class TformIn : public QDialog {
    Q_OBJECT
public:
    // Outer heights of the three views.
    static constexpr int kCollapsed = 328;
    static constexpr int kFees = 397;
    static constexpr int kFull = 469;

    // `history` is open on the room's rows; `signIn` shows the password
    // window modally over its opener.
    TformIn(BoardModel& board, Query& history, std::function<void(QWidget*)> signIn,
            QWidget* parent = nullptr);

    int designHeight() const { return designHeight_; }
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
    void BitBtn1Click();
    void BitBtn4Click();
    void Button1Click();
    void Edit1Change(const QString& text);
    void Edit1Exit();
    QLineEdit* numberBox(QWidget* area, const QString& name, int maxLength, QRect place,
                         const QColor& colour);

    BoardModel& board_;
    SharedValues& shared_;
    std::function<void(QWidget*)> signIn_;
    int designHeight_ = 0;
    QString arrow_;

    TMFrame* MFrame1 = nullptr;
    QTableWidget* sgRoom = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QWidget* feeArea_ = nullptr;
    QLineEdit* Edit2 = nullptr;
    QLineEdit* Edit3 = nullptr;
    QWidget* roomArea_ = nullptr;
    QLineEdit* Edit1 = nullptr;
    QLineEdit* EditKey = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* BitBtn3 = nullptr;
};
