#include "board/ToolbarCommands.h"

#include <algorithm>
#include <utility>

#include "board/BoardModel.h"
#include "lockdown/Lockdown.h"

namespace {
const QString kUserQuestion = QStringLiteral("사용자 인증을 하셔야 합니다. 하시겠습니까?");
const QString kSignedOutPicture = QStringLiteral("lockS.bmp");
const QString kSignInCaption = QStringLiteral("사용자인증");
}  // namespace

ToolbarCommands::ToolbarCommands(BoardModel& board, ToolbarWindows windows, QObject* parent)
    : QObject(parent),
      board_(board),
      session_(board.context().session),
      windows_(std::move(windows)),
      lastActivity_(board.now()) {}

int ToolbarCommands::grade() const { return session_.grade; }

bool ToolbarCommands::gradeIn(std::initializer_list<int> grades) const {
    return std::find(grades.begin(), grades.end(), session_.grade) != grades.end();
}

QString ToolbarCommands::signInCaption() const {
    if (session_.grade == 0 || session_.signInCaption.isEmpty()) return kSignInCaption;
    return session_.signInCaption;
}

QString ToolbarCommands::signInPicture() const {
    if (session_.grade == 0 || session_.signInPicture.isEmpty()) return kSignedOutPicture;
    return session_.signInPicture;
}

bool ToolbarCommands::signInFor(int grade, const QString& question,
                                std::initializer_list<int> passing) {
    session_.gradeToCheck = grade;
    if (!question.isEmpty() && !board_.askYesNo(question)) return false;
    if (windows_.password) windows_.password();
    // The password window's hidden switches may have signed in another grade.
    lastActivity_ = board_.now();
    emit signInChanged();
    return gradeIn(passing);
}

void ToolbarCommands::environmentSetup() {
    if (session_.grade != 3 &&
        !signInFor(3, QStringLiteral("공급업체 인증을 하셔야 합니다. 하시겠습니까?"), {3}))
        return;
    if (windows_.environmentSetup) windows_.environmentSetup();
}

void ToolbarCommands::dailySettlement() {
    if (windows_.settlement) windows_.settlement(SettlementKind::Daily);
}

void ToolbarCommands::monthlySettlement() {
    if (!gradeIn({1, 3}) && !signInFor(1, kUserQuestion, {1, 3})) return;
    if (windows_.settlement) windows_.settlement(SettlementKind::Monthly);
}

void ToolbarCommands::morningCalls() {
    if (windows_.morningCalls) windows_.morningCalls();
}

void ToolbarCommands::signInOrOut() {
    session_.gradeToCheck = 1;
    if (session_.grade != 0)
        signOut(true);
    else
        signInFor(1, QString(), {1, 2, 3});
}

void ToolbarCommands::signOut(bool tell) {
    board_.recordAction(audit::Action::SignOut, {{QStringLiteral("idle"), !tell}});
    session_.grade = 0;
    session_.signInCaption.clear();
    session_.signInPicture.clear();
    if (windows_.closeSignedOutWindows) windows_.closeSignedOutWindows();
    emit signInChanged();
    if (windows_.restore) windows_.restore();
    if (tell) board_.showInfo(QStringLiteral("사용자 인증이 해제되었습니다"));
    Lockdown& lockdown = board_.context().lockdown;
    lockdown.hideTaskBar();
    lockdown.armKeyboardFilter();
}

void ToolbarCommands::backup() {
    if (!windows_.backup || !windows_.backup()) return;  // the backup names its own failures
    board_.recordAction(audit::Action::Backup,
                        {{QStringLiteral("directory"), windows_.backupDirectory}});
    board_.showInfo(QStringLiteral("자료를 복사했습니다: ") + windows_.backupDirectory);
}

void ToolbarCommands::about() {
    if (windows_.about) windows_.about();
}

void ToolbarCommands::shutDown() {
    if (session_.grade == 0) {
        board_.showError(QStringLiteral("사용자 인증을 하셔야 종료가 됩니다"));
        return;
    }
    if (!board_.askYesNo(QStringLiteral("종료를 하시면 윈도우도 종료됩니다.종료 하시겠습니까?")))
        return;
    Lockdown& lockdown = board_.context().lockdown;
    // The lock is armed exactly while the task bar is hidden.
    const bool wasLocked = lockdown.isArmed();
    lockdown.disarmKeyboardFilter();
    // On the disk before the PC goes down.
    board_.recordAction(audit::Action::PowerOff);
    board_.writeStep();
    const QString refused = lockdown.powerOffComputer();
    if (refused.isEmpty()) return;
    // The PC stays on: the desk stays locked as it was.
    if (wasLocked) {
        lockdown.hideTaskBar();
        lockdown.armKeyboardFilter();
    }
    board_.notify(QStringLiteral("전원을 끌 수 없어 프로그램을 계속합니다: ") + refused);
}

void ToolbarCommands::useWindows() {
    if (!gradeIn({2, 3}) && !signInFor(2, QStringLiteral("윈도우 사용을 하시겠습니까?"), {2, 3}))
        return;
    enterWindowsUse();
}

void ToolbarCommands::enterWindowsUse() {
    if (windows_.minimise) windows_.minimise();
    Lockdown& lockdown = board_.context().lockdown;
    lockdown.showTaskBar();
    lockdown.disarmKeyboardFilter();
    board_.recordAction(audit::Action::LockLifted);
}

void ToolbarCommands::noteActivity() { lastActivity_ = board_.now(); }

void ToolbarCommands::checkIdle() {
    const QDateTime now = board_.now();
    // A clock set back starts the count again rather than never ending it.
    if (now < lastActivity_) lastActivity_ = now;
    if (session_.grade == 0 || idleMinutes_ == 0) return;
    if (lastActivity_.secsTo(now) >= qint64(idleMinutes_) * 60) signOut(false);
}
