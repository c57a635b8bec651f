#pragma once

#include <QWidget>
#include <array>
#include <bitset>

#include "board/BoardModel.h"
#include "board/ui/DesignScaler.h"
#include "board/ui/PanelPictures.h"
#include "board/ui/PanelTexts.h"

class Assets;
class QLabel;
class QToolButton;
class LogList;
class MessageStrip;
class RoomPanel;
class PaintedFrame;

// The toolbar's buttons on the title strip, left to right.
enum class ToolbarButton {
    EnvironmentSetup,
    DailySettlement,
    MonthlySettlement,
    MorningCalls,
    SignIn,
    Backup,
    About,
    ShutDown,
    UseWindows,
};

// The board window: the title strip with the toolbar, the left column and the 72 room
// panels. It renders the board's model and forwards clicks; it refuses to be
// closed, since the desk PC shows nothing else.
class BoardWindow : public QWidget {
    Q_OBJECT
public:
    // The design: every place and size below is in these pixels and the
    // whole board is scaled uniformly to the real window.
    static constexpr int kDesignWidth = 1132;
    static constexpr int kDesignHeight = 827;

    BoardWindow(BoardModel& board, Assets& assets, QWidget* parent = nullptr);

    RoomPanel* panel(int n) const { return panels_.at(static_cast<std::size_t>(n - 1)); }
    double scale() const { return scale_; }
    void showBorderlessMaximised();
    void setAllowClose(bool allow) { allowClose_ = allow; }
    // Shows on the title strip whether the controller's line is open.
    void setControllerLink(bool up);
    // Beside it, the group's central ledger link; an empty text shows none.
    void setCentralLink(const QString& text, bool healthy);
    // The sign-in button's caption and picture.
    void setSignIn(const QString& caption, const QString& picture);
    // What the board changed since the last frame, rendered once: a block of
    // the controller changes a room several times and the log at every pair,
    // the screen shows only where they ended. Runs before every frame by
    // itself; tests call it to look at once.
    void renderChanges();
    QToolButton* toolbarButton(ToolbarButton b) const {
        return toolbar_.at(static_cast<std::size_t>(b));
    }

signals:
    void toolbarClicked(ToolbarButton button);
    void roomButtonClicked(int slot);
    void labelClicked(int slot);
    void kindClicked(int slot);

protected:
    bool event(QEvent* event) override;
    void scheduleRender();
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildToolbar();
    void buildLeftColumn();
    void renderLeft();
    void renderLastEvent();
    void layOut();
    QLabel* plate(const QString& name, QWidget* parent, WinColor back, WinColor text, int px);

    BoardModel& board_;
    Assets& assets_;
    DesignScaler scaler_;
    PanelPictures pictures_;
    PanelTexts texts_;
    std::bitset<BoardModel::kSlots> changedSlots_;
    bool leftChanged_ = false;
    bool logChanged_ = false;
    bool renderQueued_ = false;
    double scale_ = 1.0;
    bool allowClose_ = false;
    std::array<RoomPanel*, BoardModel::kSlots> panels_{};
    std::array<QToolButton*, 9> toolbar_{};
    PaintedFrame* titleStrip_ = nullptr;
    PaintedFrame* roomArea_ = nullptr;
    QWidget* leftColumn_ = nullptr;
    PaintedFrame* businessName_ = nullptr;
    PaintedFrame* plate_ = nullptr;
    QSize emblemSize_;
    QLabel* date_ = nullptr;
    QLabel* time_ = nullptr;
    QLabel* dasilCount_ = nullptr;
    QLabel* sleepCount_ = nullptr;
    LogList* log_ = nullptr;
    QLabel* lastRoom_ = nullptr;
    QLabel* link_ = nullptr;
    bool controllerUp_ = false;
    QString centralText_;
    bool centralHealthy_ = false;
    MessageStrip* strip_ = nullptr;
    QLabel* lastWord_ = nullptr;
    QWidget* logArea_ = nullptr;
    QWidget* lastEventArea_ = nullptr;
};
