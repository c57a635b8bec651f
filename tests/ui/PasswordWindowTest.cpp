#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include "admin/PasswordWindow.h"
#include "auth/PasswordRules.h"
#include "store/Database.h"
#include "support/Fakes.h"
#include "support/StoreHelpers.h"

namespace {

// The password window over a new installation's passwords (1111 user,
// 2222 Windows use, 3333 supplier), opened for the user's grade.
struct PassWindow {
    explicit PassWindow(QWidget* opener = nullptr) : window(check, dialogs, opener) {
        copyFreshDatabase(dir.path());
        db.open();
        session.gradeToCheck = 1;
        window.show();
    }
    QLineEdit* edit(const char* name) {
        return window.findChild<QLineEdit*>(QString::fromLatin1(name));
    }
    void click(const char* name) {
        QTest::mouseClick(window.findChild<QPushButton*>(QString::fromLatin1(name)),
                          Qt::LeftButton);
    }
    void type(const char* box, const QString& text) {
        edit(box)->clear();
        QTest::keyClicks(edit(box), text);
    }
    void signIn(const QString& password) {
        type("passwordBox", password);
        click("okButton");
    }

    QTemporaryDir dir;
    Database db{dir.path()};
    FixedClock clock;
    DeskSession session;
    RecordingLockdown lockdown;
    ScriptedDialogs dialogs;
    PasswordRules check{db, clock, session, lockdown};
    PasswordWindow window;
};

TEST(PasswordWindow, RightPasswordSignsInAndCloses) {
    PassWindow w;
    EXPECT_EQ(w.window.designHeight(), PasswordWindow::kShortHeight);
    for (const char* box :
         {"passwordBox", "newPasswordBox", "repeatPasswordBox", "currentPasswordBox"})
        EXPECT_EQ(w.edit(box)->echoMode(), QLineEdit::Password) << box;

    w.signIn(QStringLiteral("1112"));
    EXPECT_EQ(w.dialogs.errors, QStringList{QStringLiteral("암호가 맞지 않습니다")});
    EXPECT_TRUE(w.window.isVisible());
    EXPECT_EQ(w.edit("passwordBox")->text(), QStringLiteral("1112"));  // kept for correcting
    EXPECT_EQ(w.session.grade, 0);

    w.signIn(QStringLiteral("1111"));
    EXPECT_FALSE(w.window.isVisible());
    EXPECT_EQ(w.window.result(), QDialog::Accepted);
    EXPECT_EQ(w.session.grade, 1);
    EXPECT_EQ(w.session.signInCaption, QStringLiteral("사용자인증해제"));
    EXPECT_TRUE(w.lockdown.calls.isEmpty());
}

TEST(PasswordWindow, OpensCentredOnTheScreenNotOverItsOpener) {
    QWidget opener;
    opener.setGeometry(20, 30, 356, 439);
    opener.show();
    PassWindow w(&opener);
    const QRect area = opener.screen()->availableGeometry();
    const QPoint centre =
        w.window.pos() + QPoint(w.window.width() / 2, w.window.designHeight() / 2);
    EXPECT_LE((centre - area.center()).manhattanLength(), 2)
        << centre.x() << "," << centre.y() << " on " << area.width() << "x" << area.height();
}

TEST(PasswordWindow, HiddenSwitchesChooseTheGradeToCheck) {
    const struct {
        const char* hiddenSwitch;
        const char* password;
        int level;
        QStringList lockdown;
    } cases[] = {{"supplierSwitch", "3333", 3, {"disarmKeyboardFilter"}},
                 {"windowsUseSwitch", "2222", 2, {}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.hiddenSwitch);
        PassWindow w;
        auto* hidden = w.window.findChild<QPushButton*>(QString::fromLatin1(c.hiddenSwitch));
        ASSERT_TRUE(hidden);
        EXPECT_TRUE(hidden->text().isEmpty() && hidden->icon().isNull());
        EXPECT_EQ(hidden->size(), QSize(10, 10));
        w.click(c.hiddenSwitch);
        w.signIn(QStringLiteral("1111"));  // the user's password no longer passes
        EXPECT_EQ(w.session.grade, 0);
        w.signIn(QString::fromLatin1(c.password));
        EXPECT_EQ(w.session.grade, c.level);
        EXPECT_EQ(w.lockdown.calls, c.lockdown);
    }
}

TEST(PasswordWindow, CancelLeavesTheSignInAsItWas) {
    PassWindow w;
    w.session.grade = 2;
    w.type("passwordBox", QStringLiteral("1111"));
    w.click("cancelButton");
    EXPECT_FALSE(w.window.isVisible());
    EXPECT_EQ(w.window.result(), QDialog::Rejected);
    EXPECT_EQ(w.session.grade, 2);
}

TEST(PasswordWindow, ChangeAreaOpensEmptyAndCloses) {
    PassWindow w;
    w.click("changeButton");
    EXPECT_EQ(w.window.designHeight(), PasswordWindow::kTallHeight);
    EXPECT_EQ(w.window.focusWidget(), w.edit("currentPasswordBox"));
    w.type("currentPasswordBox", QStringLiteral("1111"));
    w.click("changeButton");
    EXPECT_EQ(w.window.designHeight(), PasswordWindow::kShortHeight);
    w.click("changeButton");
    EXPECT_TRUE(w.edit("currentPasswordBox")->text().isEmpty());
}

TEST(PasswordWindow, ChangeChecksBothBoxesThenTheCurrentPassword) {
    PassWindow w;
    w.click("changeButton");
    w.type("currentPasswordBox", QStringLiteral("1111"));
    w.type("newPasswordBox", QStringLiteral("5678"));
    w.type("repeatPasswordBox", QStringLiteral("5670"));
    w.click("saveButton");
    EXPECT_EQ(w.dialogs.errors.last(), QStringLiteral("새암호와 암호확인 번호가 서로 틀림니다"));
    EXPECT_TRUE(w.edit("newPasswordBox")->text().isEmpty() &&
                w.edit("repeatPasswordBox")->text().isEmpty());
    EXPECT_EQ(w.window.focusWidget(), w.edit("newPasswordBox"));

    w.type("currentPasswordBox", QStringLiteral("3333"));
    w.type("newPasswordBox", QStringLiteral("5678"));
    w.type("repeatPasswordBox", QStringLiteral("5678"));
    w.click("saveButton");
    EXPECT_EQ(w.dialogs.errors.last(), QStringLiteral("암호가 맞지 않습니다"));
    EXPECT_TRUE(w.edit("newPasswordBox")->text().isEmpty());
    EXPECT_EQ(w.window.focusWidget(), w.edit("newPasswordBox"));
    EXPECT_TRUE(w.dialogs.infos.isEmpty());

    // Both new boxes left empty: refused before the current password is looked at.
    w.type("currentPasswordBox", QStringLiteral("1111"));
    w.edit("newPasswordBox")->clear();
    w.edit("repeatPasswordBox")->clear();
    w.click("saveButton");
    EXPECT_EQ(w.dialogs.errors.last(), QStringLiteral("새암호를 입력하십시오"));
    EXPECT_EQ(w.window.focusWidget(), w.edit("newPasswordBox"));
    EXPECT_TRUE(w.dialogs.infos.isEmpty());

    w.type("currentPasswordBox", QStringLiteral("1111"));
    w.type("newPasswordBox", QStringLiteral("5678"));
    w.type("repeatPasswordBox", QStringLiteral("5678"));
    w.click("saveButton");
    EXPECT_EQ(w.dialogs.infos,
              QStringList{QStringLiteral("암호가 변경되었습니다.변경된 암호로 확인하여주십시오")});
    EXPECT_EQ(w.window.designHeight(), PasswordWindow::kShortHeight);
    EXPECT_EQ(w.window.focusWidget(), w.edit("passwordBox"));
    EXPECT_TRUE(w.window.isVisible());
    EXPECT_EQ(w.session.grade, 0);
    w.signIn(QStringLiteral("5678"));
    EXPECT_EQ(w.session.grade, 1);
}

TEST(PasswordWindow, FifthWrongPasswordLocksTheWindowOut) {
    PassWindow w;
    for (int i = 0; i < PasswordRules::kMaxFailures; ++i) w.signIn(QStringLiteral("0000"));
    w.signIn(QStringLiteral("1111"));
    const QString locked =
        QStringLiteral("비밀번호를 5번 잘못 입력했습니다. 30초 후에 다시 시도하십시오.");
    EXPECT_EQ(w.dialogs.errors.mid(3),
              (QStringList{QStringLiteral("암호가 맞지 않습니다"), locked, locked}));
    EXPECT_EQ(w.session.grade, 0);
    w.clock.set(w.clock.now().addSecs(30));
    w.signIn(QStringLiteral("1111"));
    EXPECT_EQ(w.session.grade, 1);
}

TEST(PasswordWindow, UnreadableTableIsReported) {
    PassWindow w;
    execSql(w.db, QStringLiteral(R"(Drop Table "grade.DB")"));
    w.signIn(QStringLiteral("1111"));
    ASSERT_EQ(w.dialogs.errors.size(), 1);
    EXPECT_TRUE(w.dialogs.errors[0].contains(QStringLiteral("grade.DB"), Qt::CaseInsensitive))
        << w.dialogs.errors[0].toStdString();
    EXPECT_EQ(w.session.grade, 0);
    EXPECT_TRUE(w.window.isVisible());
}

}  // namespace
