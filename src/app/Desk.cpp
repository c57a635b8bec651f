#include "app/Desk.h"

Desk::Desk(const Options& options)
    : options_(options),
      assets_(options.dataDir, options.programDir),
      board_({clock_, sound_, dialogs_, lockdown_, assets_, shared_}),
      window_(board_, assets_) {
    dialogs_.setOwner(&window_);
    window_.setAllowClose(options.windowed);

    ThreadTimer1.SetInterval(60000);
    ThreadTimer1.OnTimer = [this](TThreadTimer*) { board_.Timer3Timer(); };
    ThreadTimer2.SetInterval(1000);
    ThreadTimer2.OnTimer = [this](TThreadTimer*) { board_.Timer1Timer(); };

    BoardSeams seams;
    seams.startSecondTimer = [this] { ThreadTimer2.SetEnabled(true); };
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
