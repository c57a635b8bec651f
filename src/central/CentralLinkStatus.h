#pragma once

#include <QDateTime>
#include <QMetaType>
#include <QString>

// How the desk's link to the group's central ledger stands, for the title strip and the
// owner's page, like the controller's link.
struct CentralLinkStatus {
    enum class State {
        Off,        // no central ledger configured
        Connected,  // everything written so far has arrived, or is on its way
        Behind,     // connected, and changes have been waiting a while
        Stalled,    // nothing gets through since `since`; tried again and again
        Stopped,    // a change the central holds differently: nothing more is sent
    };
    State state = State::Off;
    qint64 behind = 0;  // changes not yet at the central ledger
    QDateTime since;    // Stalled: the first failure of this run of failures
    QString problem;    // Stalled, Stopped: why

    // "● 중앙 연결", "◐ 중앙 12건 대기", "○ 중앙 끊김 14:05부터", "✕ 중앙 전송 중지"; empty when
    // Off.
    QString text() const;
    bool isHealthy() const { return state == State::Connected || state == State::Behind; }
    bool operator==(const CentralLinkStatus&) const = default;
};

Q_DECLARE_METATYPE(CentralLinkStatus)
