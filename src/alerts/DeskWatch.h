#pragma once

#include <QList>
#include <QString>

// The desk's own conditions that alert the owner, looked at every minute: each raises one alert
// when it begins, and again only after it has ended.
class DeskWatch {
public:
    struct Facts {
        bool roomsInStay = false;
        qint64 lineSilentSeconds = 0;  // since the controller's last report (or the start)
        QString storageWarning;        // empty while everything is on disk
        QString centralProblem;        // empty while the central sender keeps up
    };
    struct Alert {
        QString kind;
        QString detail;  // JSON
    };

    explicit DeskWatch(int lineSilentMinutes) : lineSilentMinutes_(lineSilentMinutes) {}
    QList<Alert> check(const Facts& facts);

    // The central sender's state as a problem for Facts: stopped, failing for an hour, or its
    // oldest change waiting for an hour; empty otherwise.
    static constexpr qint64 kCentralLateSeconds = 3600;

private:
    int lineSilentMinutes_;
    bool lineSilent_ = false;
    bool storageFailing_ = false;
    bool centralFailing_ = false;
};
