#pragma once

#include <QEvent>
#include <QObject>
#include <functional>
#include <utility>

// Watches every key and click of the program: each key marks the screen
// saver as running, each key or click counts as the clerk's activity. It
// holds nothing back; that is the lockdown's keyboard filter.
class ActivityFilter : public QObject {
public:
    ActivityFilter(std::function<void()> onKey, std::function<void()> onActivity)
        : onKey_(std::move(onKey)), onActivity_(std::move(onActivity)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
            case QEvent::KeyPress: {
                // A key passed on to the parent widgets comes by again;
                // marking twice does no harm.
                if (onKey_) onKey_();
                if (onActivity_) onActivity_();
                break;
            }
            case QEvent::MouseButtonPress:
                if (onActivity_) onActivity_();
                break;
            default:
                break;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> onKey_;
    std::function<void()> onActivity_;
};
