#pragma once

#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <deque>
#include <memory>
#include <ostream>

#include "board/BoardModel.h"
#include "lockdown/Lockdown.h"
#include "platform/Assets.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/SoundPlayer.h"

// Readable test failures for Qt's strings.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QStringList& l, std::ostream* os) {
    *os << '{' << l.join(QStringLiteral(", ")).toStdString() << '}';
}

// A clock that says what the test tells it.
class FixedClock : public Clock {
public:
    explicit FixedClock(QDateTime t = QDateTime(QDate(2006, 4, 1), QTime(17, 35))) : t_(t) {}
    QDateTime now() const override { return t_; }
    void set(const QDateTime& t) { t_ = t; }
    void advanceMinutes(int m) { t_ = t_.addSecs(60 * m); }

private:
    QDateTime t_;
};

class RecordingSound : public SoundPlayer {
public:
    void play(const QString& path) override { played.append(path); }
    QStringList played;
};

// Records every box; askYesNo answers from a script (default: yes).
class ScriptedDialogs : public Dialogs {
public:
    void showError(const QString& text) override { errors.append(text); }
    void showInfo(const QString& text) override { infos.append(text); }
    bool askYesNo(const QString& text) override {
        questions.append(text);
        if (answers.empty()) return true;
        const bool a = answers.front();
        answers.pop_front();
        return a;
    }
    QStringList errors, infos, questions;
    std::deque<bool> answers;
};

// A box that, like the real one, does not return until someone answers it:
// each box runs an event loop until release() (or until the test's patience
// ends, counted as a box that held the work up).
class BlockingDialogs : public ScriptedDialogs {
public:
    void showError(const QString& text) override {
        ScriptedDialogs::showError(text);
        hold();
    }
    void showInfo(const QString& text) override {
        ScriptedDialogs::showInfo(text);
        hold();
    }
    void release() { loop_.quit(); }
    int held = 0;

private:
    void hold() {
        ++held;
        loop_.exec();
    }
    QEventLoop loop_;
};

// The lines of the data directory's log, tavolen.log.
inline QStringList deskLogLines(const QString& dataDir) {
    QFile f(QDir(dataDir).filePath(QStringLiteral("tavolen.log")));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

class RecordingLockdown : public Lockdown {
public:
    void hideTaskBar() override { calls.append(QStringLiteral("hideTaskBar")); }
    void showTaskBar() override { calls.append(QStringLiteral("showTaskBar")); }
    void armKeyboardFilter() override {
        calls.append(QStringLiteral("armKeyboardFilter"));
        armed = true;
    }
    void disarmKeyboardFilter() override {
        calls.append(QStringLiteral("disarmKeyboardFilter"));
        armed = false;
    }
    bool isArmed() const override { return armed; }
    void installKioskSession() override { calls.append(QStringLiteral("installKioskSession")); }
    void restartComputer() override { calls.append(QStringLiteral("restartComputer")); }
    QString powerOffComputer() override {
        calls.append(QStringLiteral("powerOffComputer"));
        return powerOffRefusal;
    }
    // Marked after every key; counted rather than listed.
    void markScreenSaver() override { ++screenSaverMarks; }
    int screenSaverMarks = 0;
    QStringList calls;
    bool armed = false;
    QString powerOffRefusal;  // what logind answers; empty: the PC goes down
};

// A board on a fresh temporary data directory, with the installed pictures
// beside the test program and fakes for everything else.
struct BoardFixture {
    QTemporaryDir dir;
    FixedClock clock;
    RecordingSound sound;
    ScriptedDialogs dialogs;
    RecordingLockdown lockdown;
    DeskSession session;
    Assets assets{dir.path(), QStringLiteral(TAVOLEN_BIN_DIR)};
    BoardModel board{{clock, sound, dialogs, lockdown, assets, session}};

    QString dataDir() const { return dir.path(); }
    QString iniPath() const {
        return QDir(dir.path()).filePath(QStringLiteral("TavolenConfig.ini"));
    }
    void start(const BoardSeams& seams = {}) { board.startUp(dir.path(), seams); }
};
