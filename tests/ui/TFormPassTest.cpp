#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "admin/TFormPass.h"
#include "board/PasswordCheck.h"
#include "store/Database.h"
#include "support/Fakes.h"
#include "support/StoreHelpers.h"

namespace {

// The password window over a new installation's passwords (1111 user,
// 2222 Windows use, 3333 supplier), opened for the user's grade.
struct PassWindow {
    PassWindow() {
        copyFreshDatabase(dir.path());
        db.open();
        shared.AuthMode = 1;
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
        type("Edit1", password);
        click("BitBtn1");
    }

    QTemporaryDir dir;
    Database db{dir.path()};
    FixedClock clock;
    SharedValues shared;
    RecordingLockdown lockdown;
    ScriptedDialogs dialogs;
    PasswordCheck check{db, clock, shared, lockdown};
    TFormPass window{check, dialogs};
};

TEST(TFormPass, RightPasswordSignsInAndCloses) {
    PassWindow w;
    EXPECT_EQ(w.window.designHeight(), TFormPass::kShortHeight);
    for (const char* box : {"Edit1", "Edit2", "Edit3", "Edit4"})
        EXPECT_EQ(w.edit(box)->echoMode(), QLineEdit::Password) << box;

    w.signIn(QStringLiteral("1112"));
    EXPECT_EQ(w.dialogs.errors, QStringList{QStringLiteral("암호가 맞지 않습니다")});
    EXPECT_TRUE(w.window.isVisible());
    EXPECT_EQ(w.edit("Edit1")->text(), QStringLiteral("1112"));  // kept for correcting
    EXPECT_EQ(w.shared.LoginLevel, 0);

    w.signIn(QStringLiteral("1111"));
    EXPECT_FALSE(w.window.isVisible());
    EXPECT_EQ(w.window.result(), QDialog::Accepted);
    EXPECT_EQ(w.shared.LoginLevel, 1);
    EXPECT_EQ(w.shared.LogInCaption, QStringLiteral("사용자인증해제"));
    EXPECT_TRUE(w.lockdown.calls.isEmpty());
}

TEST(TFormPass, HiddenSwitchesChooseTheGradeToCheck) {
    const struct {
        const char* hiddenSwitch;
        const char* password;
        int level;
        QStringList lockdown;
    } cases[] = {{"spMaker", "3333", 3, {"disarmKeyboardFilter"}}, {"spWindow", "2222", 2, {}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.hiddenSwitch);
        PassWindow w;
        auto* hidden = w.window.findChild<QPushButton*>(QString::fromLatin1(c.hiddenSwitch));
        ASSERT_TRUE(hidden);
        EXPECT_TRUE(hidden->text().isEmpty() && hidden->icon().isNull());
        EXPECT_EQ(hidden->size(), QSize(10, 10));
        w.click(c.hiddenSwitch);
        w.signIn(QStringLiteral("1111"));  // the user's password no longer passes
        EXPECT_EQ(w.shared.LoginLevel, 0);
        w.signIn(QString::fromLatin1(c.password));
        EXPECT_EQ(w.shared.LoginLevel, c.level);
        EXPECT_EQ(w.lockdown.calls, c.lockdown);
    }
}

TEST(TFormPass, CancelLeavesTheSignInAsItWas) {
    PassWindow w;
    w.shared.LoginLevel = 2;
    w.type("Edit1", QStringLiteral("1111"));
    w.click("BitBtn4");
    EXPECT_FALSE(w.window.isVisible());
    EXPECT_EQ(w.window.result(), QDialog::Rejected);
    EXPECT_EQ(w.shared.LoginLevel, 2);
}

TEST(TFormPass, ChangeAreaOpensEmptyAndCloses) {
    PassWindow w;
    w.click("BitBtn2");
    EXPECT_EQ(w.window.designHeight(), TFormPass::kTallHeight);
    EXPECT_EQ(w.window.focusWidget(), w.edit("Edit4"));
    w.type("Edit4", QStringLiteral("1111"));
    w.click("BitBtn2");
    EXPECT_EQ(w.window.designHeight(), TFormPass::kShortHeight);
    w.click("BitBtn2");
    EXPECT_TRUE(w.edit("Edit4")->text().isEmpty());
}

TEST(TFormPass, ChangeChecksBothBoxesThenTheCurrentPassword) {
    PassWindow w;
    w.click("BitBtn2");
    w.type("Edit4", QStringLiteral("1111"));
    w.type("Edit2", QStringLiteral("5678"));
    w.type("Edit3", QStringLiteral("5670"));
    w.click("BitBtn3");
    EXPECT_EQ(w.dialogs.errors.last(), QStringLiteral("새암호와 암호확인 번호가 서로 틀림니다"));
    EXPECT_TRUE(w.edit("Edit2")->text().isEmpty() && w.edit("Edit3")->text().isEmpty());
    EXPECT_EQ(w.window.focusWidget(), w.edit("Edit2"));

    w.type("Edit4", QStringLiteral("3333"));
    w.type("Edit2", QStringLiteral("5678"));
    w.type("Edit3", QStringLiteral("5678"));
    w.click("BitBtn3");
    EXPECT_EQ(w.dialogs.errors.last(), QStringLiteral("암호가 맞지 않습니다"));
    EXPECT_TRUE(w.edit("Edit2")->text().isEmpty());
    EXPECT_EQ(w.window.focusWidget(), w.edit("Edit2"));
    EXPECT_TRUE(w.dialogs.infos.isEmpty());

    w.type("Edit4", QStringLiteral("1111"));
    w.type("Edit2", QStringLiteral("5678"));
    w.type("Edit3", QStringLiteral("5678"));
    w.click("BitBtn3");
    EXPECT_EQ(w.dialogs.infos,
              QStringList{QStringLiteral("암호가 변경되었습니다.변경된 암호로 확인하여주십시오")});
    EXPECT_EQ(w.window.designHeight(), TFormPass::kShortHeight);
    EXPECT_EQ(w.window.focusWidget(), w.edit("Edit1"));
    EXPECT_TRUE(w.window.isVisible());
    EXPECT_EQ(w.shared.LoginLevel, 0);
    w.signIn(QStringLiteral("5678"));
    EXPECT_EQ(w.shared.LoginLevel, 1);
}

TEST(TFormPass, FifthWrongPasswordLocksTheWindowOut) {
    PassWindow w;
    for (int i = 0; i < PasswordCheck::kMaxFailures; ++i) w.signIn(QStringLiteral("0000"));
    w.signIn(QStringLiteral("1111"));
    const QString locked =
        QStringLiteral("비밀번호를 5번 잘못 입력했습니다. 30초 후에 다시 시도하십시오.");
    EXPECT_EQ(w.dialogs.errors.mid(3),
              (QStringList{QStringLiteral("암호가 맞지 않습니다"), locked, locked}));
    EXPECT_EQ(w.shared.LoginLevel, 0);
    w.clock.set(w.clock.now().addSecs(30));
    w.signIn(QStringLiteral("1111"));
    EXPECT_EQ(w.shared.LoginLevel, 1);
}

TEST(TFormPass, UnreadableTableIsReported) {
    PassWindow w;
    execSql(w.db, QStringLiteral(R"(Drop Table "grade.DB")"));
    w.signIn(QStringLiteral("1111"));
    ASSERT_EQ(w.dialogs.errors.size(), 1);
    EXPECT_TRUE(w.dialogs.errors[0].contains(QStringLiteral("grade.DB"), Qt::CaseInsensitive))
        << w.dialogs.errors[0].toStdString();
    EXPECT_EQ(w.shared.LoginLevel, 0);
    EXPECT_TRUE(w.window.isVisible());
}

}  // namespace
