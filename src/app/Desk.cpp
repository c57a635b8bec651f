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
      link_(Comm321),
      passwords_(db_, clock_, shared_, *lockdown_),
      deskWindows_(board_, passwords_, &window_),
      deskActions_(board_, shared_, db_, deskWindows_) {
    dialogs_.setOwner(&window_);
    window_.setAllowClose(options.windowed);

    board_.setRecords(&ledger_);
    QObject::connect(&window_, &TformMain::labelClicked, &window_,
                     [this](int n) { deskActions_.LabelCheck(n); });
    QObject::connect(&window_, &TformMain::kindClicked, &window_,
                     [this](int n) { deskActions_.Clickk(n); });
    QObject::connect(&window_, &TformMain::roomButtonClicked, &window_,
                     [this](int n) { deskActions_.BitBtnk(n); });
    board_.purgeTables = [this] { ledger_.Purge(board_.SaveMonth); };

    Comm321.setBaudRates(TBaudRates::___4800);
    Comm321.OnReceiveData = [this](const void* buffer, quint16 length) {
        board_.Comm321ReceiveData(QByteArray(static_cast<const char*>(buffer), length));
    };
    QObject::connect(&link_, &CommLink::linkUp, &window_, &TformMain::setControllerLink);

    ThreadTimer1.SetInterval(60000);
    ThreadTimer1.OnTimer = [this](TThreadTimer*) { board_.Timer3Timer(); };
    ThreadTimer2.SetInterval(1000);
    ThreadTimer2.OnTimer = [this](TThreadTimer*) { board_.Timer1Timer(); };

    BoardSeams seams;
    seams.startSecondTimer = [this] { ThreadTimer2.SetEnabled(true); };
    seams.dbAliasCheck = [this] {
        // A database that cannot be opened is reported here; every history
        // and ledger write then reports its own failure, and the board runs.
        try {
            db_.open();
        } catch (const std::exception& e) {
            board_.ShowError(errorText(e));
        }
        return aliases_.dbAliasCheck(options_.dataDir);
    };
    seams.openPort = [this](const QString& portName) {
        Comm321.PortName = portName;
        link_.start();
    };
    seams.showBorderlessMaximised = [this] {
        if (options_.windowed)
            window_.show();
        else
            window_.showBorderlessMaximised();
    };
    seams.startMinuteTimer = [this] { ThreadTimer1.SetEnabled(true); };
    board_.FormCreate(options.dataDir, seams);
}

Desk::~Desk() {
    ThreadTimer1.SetEnabled(false);
    ThreadTimer2.SetEnabled(false);
}
