#include "app/Desk.h"

#include <QCoreApplication>

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
      board_({clock_, sound_, dialogs_, *lockdown_, assets_, shared_}),
      window_(board_, assets_),
      db_(options.dataDir),
      ledger_(db_, clock_, dialogs_),
      backup_(db_, options.dataDir, dialogs_),
      link_(controllerPort_),
      passwords_(db_, clock_, shared_, *lockdown_),
      deskWindows_(board_, passwords_, &window_),
      deskActions_(board_, db_, deskWindows_) {
    dialogs_.setOwner(&window_);
    window_.setAllowClose(options.windowed);

    board_.setRecords(&ledger_);
    board_.setWriteAfterPaint(true);
    QObject::connect(&window_, &BoardWindow::labelClicked, &window_,
                     [this](int n) { deskActions_.onStateLabelClicked(n); });
    QObject::connect(&window_, &BoardWindow::kindClicked, &window_,
                     [this](int n) { deskActions_.toggleStayKind(n); });
    QObject::connect(&window_, &BoardWindow::roomButtonClicked, &window_,
                     [this](int n) { deskActions_.onRoomButtonClicked(n); });
    board_.purgeTables = [this] { ledger_.purge(board_.ledgerMonths); };
    ledger_.notice = [this](const QString& text) { board_.notify(text); };

    controllerPort_.setBaudRate(BaudRate::Baud4800);
    controllerPort_.receiveHandler = [this](const void* buffer, quint16 length) {
        board_.onControllerBlock(QByteArray(static_cast<const char*>(buffer), length));
    };
    QObject::connect(&link_, &CommLink::linkUp, &window_, &BoardWindow::setControllerLink);

    minuteTimer_.setInterval(60000);
    minuteTimer_.onTick = [this](ThreadTimer*) { board_.onMinuteTick(); };
    secondTimer_.setInterval(1000);
    secondTimer_.onTick = [this](ThreadTimer*) { board_.onSecondTick(); };

    BoardSeams seams;
    seams.startSecondTimer = [this] { secondTimer_.setEnabled(true); };
    seams.ensureMotelLocation = [this] {
        // A database that cannot be opened is reported once the board is up;
        // every history and ledger write then reports its own failure, and
        // the board runs.
        try {
            db_.open();
            if (!db_.passwordProblem().isEmpty()) board_.notify(db_.passwordProblem());
        } catch (const std::exception& e) {
            board_.notify(errorText(e));
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
}

Desk::~Desk() {
    minuteTimer_.setEnabled(false);
    secondTimer_.setEnabled(false);
    // A last try for whatever is still pending, while the database is there.
    board_.writeStep();
    board_.setRecords(nullptr);
}
