#pragma once

// The real program driven as the clerk drives it: xdotool finds its windows
// by title, moves the pointer, clicks and types.
#include <QProcess>
#include <QRect>
#include <QRegularExpression>
#include <QStandardPaths>
#include <cmath>

#include "board/ui/BoardWindow.h"
#include "e2e/RealDesk.h"

class DeskMouse : public RealDesk {
protected:
    void SetUp() override {
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            GTEST_SKIP() << "xdotool is not installed (scripts/install-deps)";
        RealDesk::SetUp();
    }

    QString xdotool(const QStringList& args) {
        QProcess p;
        p.setProcessEnvironment(environment());
        p.start(QStringLiteral("xdotool"), args);
        p.waitForFinished(10000);
        return QString::fromUtf8(p.readAllStandardOutput());
    }

    // The place of the one shown window with this title; null if none.
    QRect findWindow(const QString& title) {
        const QStringList ids =
            xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                     QStringLiteral("--name"),
                     QStringLiteral("^%1$").arg(QRegularExpression::escape(title))})
                .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        if (ids.size() != 1) return QRect();
        const QString shell =
            xdotool({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), ids[0]});
        const auto value = [&](const char* key) {
            return QRegularExpression(QStringLiteral("%1=(-?\\d+)").arg(QLatin1String(key)))
                .match(shell)
                .captured(1)
                .toInt();
        };
        return QRect(value("X"), value("Y"), value("WIDTH"), value("HEIGHT"));
    }
    QRect window(const QString& title) {
        QRect found;
        waitFor([&] { return !(found = findWindow(title)).isNull(); });
        return found;
    }
    bool gone(const QString& title) {
        return waitFor([&] { return findWindow(title).isNull(); }, 5000);
    }

    void click(QPoint at) {
        xdotool({QStringLiteral("mousemove"), QStringLiteral("--sync"), QString::number(at.x()),
                 QString::number(at.y()), QStringLiteral("click"), QStringLiteral("1")});
    }
    void type(const QString& text) {
        xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"), text});
    }
    void key(const QString& name) { xdotool({QStringLiteral("key"), name}); }

    // A point of the board in design pixels, on the screen.
    QPoint onBoard(const QRect& boardWindow, QPoint design) {
        const double scale = std::min(double(boardWindow.width()) / BoardWindow::kDesignWidth,
                                      double(boardWindow.height()) / BoardWindow::kDesignHeight);
        return boardWindow.topLeft() +
               QPoint(std::lround(design.x() * scale), std::lround(design.y() * scale));
    }
};
