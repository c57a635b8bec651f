#include "app/Desk.h"

#include <malloc.h>
#include <sqlite3.h>

#include <QCoreApplication>

#include "alerts/AlertQueue.h"
#include "central/CentralSettings.h"
#include "platform/DeskLog.h"
#include "store/IniStore.h"
#include "store/Installation.h"

Desk::Desk(const Options& options)
    : options_(options),
      lockdown_(makeLockdown(options.dataDir,
                             [this] {
                                 // The board refuses to close until it is told it may.
                                 window_.setAllowClose(true);
                                 QMetaObject::invokeMethod(qApp, &QCoreApplication::quit,
                                                           Qt::QueuedConnection);
                             })),
      assets_(options.dataDir, options.programDir),
      board_({clock_, sound_, dialogs_, *lockdown_, assets_, session_}),
      window_(board_, assets_),
      db_(options.dataDir),
      records_(db_, clock_, dialogs_),
      trail_(db_, clock_),
      backup_(db_, options.dataDir, dialogs_),
      link_(controllerPort_),
      passwords_(db_, clock_, session_, *lockdown_),
      deskWindows_(board_, passwords_, db_, &window_),
      clerkActions_(board_, db_, deskWindows_),
      environment_(board_, environmentSeams()),
      toolbar_(board_, toolbarWindows()),
      activity_([this] { lockdown_->markScreenSaver(); }, [this] { toolbar_.noteActivity(); }) {
    dialogs_.setOwner(&window_);
    window_.setAllowClose(options.windowed);

    board_.setRecords(&records_);
    board_.setWriteAfterPaint(true);
    QObject::connect(&window_, &BoardWindow::labelClicked, &window_,
                     [this](int n) { clerkActions_.onStateLabelClicked(n); });
    QObject::connect(&window_, &BoardWindow::kindClicked, &window_,
                     [this](int n) { clerkActions_.toggleStayKind(n); });
    QObject::connect(&window_, &BoardWindow::roomButtonClicked, &window_,
                     [this](int n) { clerkActions_.onRoomButtonClicked(n); });
    board_.purgeTables = [this] {
        records_.purge(board_.ledgerMonths);
        try {
            if (db_.isOpen()) audit::purge(db_.connection(), clock_.now(), auditKeepMonths_);
            trail_.alive();
        } catch (const std::exception& e) {
            board_.notify(errorText(e));
        }
    };
    passwords_.trail = &trail_;
    trail_.problem = [this](const QString& text) { board_.notify(text); };
    records_.notice = [this](const QString& text) { board_.notify(text); };

    QObject::connect(&window_, &BoardWindow::toolbarClicked, &window_, [this](ToolbarButton b) {
        // A command that fails (a file that cannot be read, say) ends in the
        // error box; the board runs on.
        try {
            switch (b) {
                case ToolbarButton::EnvironmentSetup:
                    toolbar_.environmentSetup();
                    break;
                case ToolbarButton::DailySettlement:
                    toolbar_.dailySettlement();
                    break;
                case ToolbarButton::MonthlySettlement:
                    toolbar_.monthlySettlement();
                    break;
                case ToolbarButton::MorningCalls:
                    toolbar_.morningCalls();
                    break;
                case ToolbarButton::SignIn:
                    toolbar_.signInOrOut();
                    break;
                case ToolbarButton::Backup:
                    toolbar_.backup();
                    break;
                case ToolbarButton::About:
                    toolbar_.about();
                    break;
                case ToolbarButton::ShutDown:
                    toolbar_.shutDown();
                    break;
                case ToolbarButton::UseWindows:
                    toolbar_.useWindows();
                    break;
            }
        } catch (const std::exception& e) {
            board_.showError(errorText(e));
        }
    });
    const auto showSignIn = [this] {
        window_.setSignIn(toolbar_.signInCaption(), toolbar_.signInPicture());
    };
    QObject::connect(&toolbar_, &ToolbarCommands::signInChanged, &window_, showSignIn);
    // The room setup's own sign-in shows on the toolbar too.
    deskWindows_.signInChanged = showSignIn;
    qApp->installEventFilter(&activity_);
    qApp->installEventFilter(&fileDialogs_);

    controllerPort_.setBaudRate(BaudRate::Baud4800);
    controllerPort_.receiveHandler = [this](const void* buffer, quint16 length) {
        board_.onControllerBlock(QByteArray(static_cast<const char*>(buffer), length));
        lastReport_ = clock_.now();
        quietLine_.start();
    };
    quietLine_.setSingleShot(true);
    quietLine_.setInterval(kQuietLineMs);
    QObject::connect(&quietLine_, &QTimer::timeout, &window_, [this] { releaseIdleMemory(); });
    QObject::connect(&link_, &CommLink::linkUp, &window_, &BoardWindow::setControllerLink);

    minuteTimer_.setInterval(60000);
    minuteTimer_.onTick = [this](ThreadTimer*) {
        board_.onMinuteTick();
        watchForAlerts();
        releaseIdleMemory();
    };
    secondTimer_.setInterval(1000);
    secondTimer_.onTick = [this](ThreadTimer*) {
        board_.onSecondTick();
        toolbar_.checkIdle();
    };

    BoardSeams seams;
    seams.startSecondTimer = [this] { secondTimer_.setEnabled(true); };
    seams.openDatabase = [this] {
        // A database that cannot be opened is reported once the board is up;
        // every history and ledger write then reports its own failure, and
        // the board runs.
        setUpBefore_ = installation::isSetUp(board_.ini(), aliases_, options_.dataDir);
        try {
            db_.open(setUpBefore_ ? Database::Installation::SetUp : Database::Installation::New);
            if (!db_.passwordProblem().isEmpty()) board_.notify(db_.passwordProblem());
        } catch (const std::exception& e) {
            board_.notify(errorText(e));
        }
        // Each reports its own failure; neither keeps the other or the board from starting.
        for (void (Desk::*start)() : {&Desk::startAlerts, &Desk::startTrail}) {
            if (!db_.isOpen()) break;
            try {
                (this->*start)();
            } catch (const std::exception& e) {
                board_.notify(errorText(e));
            }
        }
        return aliases_.ensureMotelLocation(options_.dataDir);
    };
    seams.openPort = [this](const QString& portName) {
        controllerPort_.portName = portName;
        link_.start();
    };
    seams.showBorderlessMaximised = [this] {
        if (options_.windowed)
            window_.show();
        else
            window_.showBorderlessMaximised();
    };
    seams.startMinuteTimer = [this] { minuteTimer_.setEnabled(true); };
    board_.startUp(options.dataDir, seams);
    // Marked once the database is there, and after the start-up has finished
    // any step cut short, whose record holds the file as it was.
    if (!setUpBefore_ && db_.isOpen()) {
        try {
            installation::recordSetUp(board_.ini(), aliases_, options_.dataDir, clock_.now());
        } catch (const std::exception& e) {
            board_.notify(errorText(e));
        }
    }
    try {
        toolbar_.setIdleMinutes(board_.ini().readInteger(QStringLiteral("Lock"),
                                                         QStringLiteral("IdleMinutes"),
                                                         ToolbarCommands::kDefaultIdleMinutes));
    } catch (const std::exception&) {
        // Without the file the default stands; the start-up has told why.
    }
    startWeb();
    startCentralLink();
}

void Desk::startTrail() {
    auditKeepMonths_ = board_.ini().readInteger(
        QStringLiteral("Audit"), QStringLiteral("KeepMonths"), audit::kDefaultKeepMonths);
    if (const std::optional<qint64> down = trail_.started())
        appendDeskLog(
            options_.dataDir, clock_.now(),
            QStringLiteral("지난번에 정상 종료되지 않았습니다 (%1분 동안 꺼져 있었습니다)")
                .arg(*down / 60));
}

void Desk::startAlerts() {
    lastReport_ = clock_.now();
    QStringList problems;
    const AlertSettings settings = AlertSettings::read(board_.ini(), problems);
    for (const QString& p : problems) board_.notify(p);
    // Also when none is configured: the trail's rows then raise nothing.
    alertQueue::install(db_.connection(), settings);
    if (!settings.configured()) return;
    watch_ = std::make_unique<DeskWatch>(settings.lineSilentMinutes);
    alerts_ = std::make_unique<AlertSender>(db_.path(), settings);
    alerts_->problem = [this](const QString& text) {
        QMetaObject::invokeMethod(
            &window_, [this, text] { board_.notify(text); }, Qt::QueuedConnection);
    };
    alerts_->start();
    QObject::connect(&board_, &BoardModel::snapshotPublished, &window_,
                     [this] { alerts_->wake(); });
}

void Desk::watchForAlerts() {
    if (!alerts_) return;
    DeskWatch::Facts facts;
    for (int n = 1; n <= BoardModel::kSlots && !facts.roomsInStay; ++n)
        facts.roomsInStay = !board_.slot(n).stayStart.isEmpty();
    facts.lineSilentSeconds = lastReport_.secsTo(clock_.now());
    facts.storageWarning = board_.storageWarning();
    facts.centralProblem = centralProblem();
    const QString at = clock_.now().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    for (const DeskWatch::Alert& a : watch_->check(facts)) alerts_->raise(a.kind, at, a.detail);
}

QString Desk::centralProblem() {
    if (!central_) return {};
    const CentralLinkStatus status = central_->status();
    const QDateTime now = clock_.now();
    if (status.state == CentralLinkStatus::State::Stopped)
        return status.text() + ": " + status.problem;
    if (status.state == CentralLinkStatus::State::Stalled && status.since.isValid() &&
        status.since.secsTo(now) > DeskWatch::kCentralLateSeconds)
        return status.text() + ": " + status.problem;
    if (!db_.isOpen()) return {};
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db_.connection(),
                           "SELECT made_at FROM tavolen_outbox WHERE sent_at IS NULL "
                           "ORDER BY seq LIMIT 1",
                           -1, &raw, nullptr) != SQLITE_OK) {
        sqlite3_finalize(raw);
        return {};
    }
    const qint64 oldest = sqlite3_step(raw) == SQLITE_ROW ? sqlite3_column_int64(raw, 0) : 0;
    sqlite3_finalize(raw);
    if (oldest > 0 &&
        oldest < QDateTime::currentMSecsSinceEpoch() - DeskWatch::kCentralLateSeconds * 1000)
        return QStringLiteral("중앙으로 보내지 못한 변경이 1시간 넘게 기다리고 있습니다");
    return {};
}

void Desk::startWeb() {
    try {
        // The web's wrong passwords go to the trail, whose row raises the alert; the desk's
        // own grades never hear of them.
        web_ =
            startWebFace({&board_.ini(), options_.dataDir, QCoreApplication::applicationFilePath(),
                          &board_, &clock_, [this](const QJsonObject& detail) {
                              trail_.note({audit::Action::WrongPasswords, 0, detail});
                              if (alerts_) alerts_->wake();
                          }});
        if (!web_) return;
        web_->setLinkUp(link_.isUp());
        QObject::connect(&link_, &CommLink::linkUp, &window_, [this](bool up) {
            if (web_) web_->setLinkUp(up);
        });
    } catch (const std::exception& e) {
        board_.notify(errorText(e));
    }
}

void Desk::startCentralLink() {
    try {
        central_ = makeOutboxSender(board_.ini(), db_);
    } catch (const std::exception& e) {
        board_.notify(errorText(e));
    }
    if (!central_) return;
    QObject::connect(central_.get(), &OutboxSender::problem, &window_,
                     [this](const QString& text) { board_.notify(text); });
    // The title strip and the owner's page show the link alike.
    const auto show = [this](const CentralLinkStatus& status) {
        window_.setCentralLink(status.text(), status.isHealthy());
        if (web_) web_->setCentralLink(status.text(), status.isHealthy());
    };
    QObject::connect(central_.get(), &OutboxSender::statusChanged, &window_, show);
    show(central_->status());
    central_->start();
}

void Desk::releaseIdleMemory() {
    // What a burst of reports or a closed window used goes back to the system: the database's
    // page cache (its pages stay in the system's file cache) and the free pages of the heap.
    if (db_.isOpen()) sqlite3_db_release_memory(db_.connection());
    malloc_trim(0);
}

ToolbarWindows Desk::toolbarWindows() {
    ToolbarWindows w;
    w.environmentSetup = [this] { deskWindows_.runEnvironmentSetup(environment_); };
    w.settlement = [this](SettlementKind kind) { deskWindows_.runSettlement(kind); };
    w.morningCalls = [this] { deskWindows_.runMorningCalls(); };
    w.password = [this] { deskWindows_.runPassword(&window_); };
    w.about = [this] { deskWindows_.runAbout(); };
    w.backup = [this] { return backup_.run(); };
    w.backupDirectory = backup_.directory();
    w.minimise = [this] { window_.showMinimized(); };
    w.restore = [this] {
        if (window_.isMinimized()) {
            window_.setWindowState(window_.windowState() & ~Qt::WindowMinimized);
            window_.activateWindow();
        }
    };
    return w;
}

EnvironmentSeams Desk::environmentSeams() {
    EnvironmentSeams e;
    e.backup = [this] { return backup_.run(); };
    e.deleteAllRecords = [this] { records_.deleteAllRecords(); };
    e.reopenPort = [this](const QString& port) {
        if (!link_.reopen(port)) throw TavolenError(QStringLiteral("장치가 응답하지 않습니다"));
    };
    return e;
}

Desk::~Desk() {
    if (alerts_) alerts_->stop();
    if (central_) central_->stop();
    qApp->removeEventFilter(&activity_);
    qApp->removeEventFilter(&fileDialogs_);
    minuteTimer_.setEnabled(false);
    secondTimer_.setEnabled(false);
    // A last try for whatever is still pending, while the database is there.
    board_.recordAction(audit::Action::ProgramClosed);
    board_.writeStep();
    board_.setRecords(nullptr);
}
