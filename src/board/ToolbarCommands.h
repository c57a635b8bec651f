#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <functional>

#include "settlement/Settlement.h"

class BoardModel;
struct DeskSession;

// The windows and outside steps the toolbar's commands lead to. The
// application sets them; an unset one does nothing (a password window that
// is not there signs nobody in).
struct ToolbarWindows {
    std::function<void()> environmentSetup;
    std::function<void(SettlementKind)> settlement;
    std::function<void()> morningCalls;
    // The password window for the grade in `gradeToCheck`.
    std::function<void()> password;
    std::function<void()> about;
    // The data backup; true when every copy was made.
    std::function<bool()> backup;
    QString backupDirectory;
    // Minimises the board (Windows use).
    std::function<void()> minimise;
    // Brings the board back in front (after a sign-out by idle time, the
    // clerk may have left it minimised).
    std::function<void()> restore;
    // Closes every window whose use rests on the grade just signed out (the
    // environment setup, a room setup, the monthly settlement), with whatever
    // was opened over it.
    std::function<void()> closeSignedOutWindows;
};

// The toolbar on the board's title strip: which command needs which grade,
// the questions it asks, sign-in and sign-out, the caption and picture of the
// sign-in button, shut-down, Windows use and the sign-out after idle
// minutes. No widgets: the window shows `signInCaption()` and
// `signInPicture()` and forwards clicks here.
class ToolbarCommands : public QObject {
    Q_OBJECT
public:
    static constexpr int kDefaultIdleMinutes = 10;

    ToolbarCommands(BoardModel& board, ToolbarWindows windows, QObject* parent = nullptr);

    void environmentSetup();
    void dailySettlement();
    void monthlySettlement();
    void morningCalls();
    // Signs out when a grade is signed in, else opens the user's password window.
    void signInOrOut();
    void backup();
    void about();
    void shutDown();
    void useWindows();

    QString signInCaption() const;
    QString signInPicture() const;
    int grade() const;

    // A key or a click anywhere in the program.
    void noteActivity();
    // 0 never signs out by itself.
    void setIdleMinutes(int minutes) { idleMinutes_ = minutes < 0 ? 0 : minutes; }
    int idleMinutes() const { return idleMinutes_; }
    // Run by the clock: signs a grade out after the idle minutes without a
    // key or a click, closing the windows opened under it. Nobody is asked or
    // told (a tick waits for no one); the button shows the sign-out.
    void checkIdle();

signals:
    void signInChanged();

private:
    // Asks for the password of `grade` (after `question`, when not empty)
    // and returns whether one of `passing` grades is signed in afterwards.
    bool signInFor(int grade, const QString& question, std::initializer_list<int> passing);
    bool gradeIn(std::initializer_list<int> grades) const;
    void signOut(bool tell);
    void enterWindowsUse();

    BoardModel& board_;
    DeskSession& session_;
    ToolbarWindows windows_;
    int idleMinutes_ = kDefaultIdleMinutes;
    QDateTime lastActivity_;
};
