#pragma once

#include <QStringList>
#include <QWidget>

class BoardModel;
class QLabel;

// The strip under the room panels for the board's message line and its
// storage warning. It shows only while either has something to say, and the
// window gives it room of its own then, so that it never covers a room.
// Texts too long for their place end in an ellipsis and show whole as a
// tooltip; several messages show the newest with their count. A click on
// the message line puts it away until the next message; the storage warning
// stays as long as the disk refuses the board's writes.
class MessageStrip : public QWidget {
    Q_OBJECT
public:
    MessageStrip(BoardModel& board, QWidget* parent);

    bool wanted() const { return showsNotice() || showsWarning(); }
    void setTextPixels(int px);

signals:
    // wanted() changed: the window lays the board out again.
    void wantedChanged();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool showsNotice() const;
    bool showsWarning() const;
    void sync();
    void fit();

    BoardModel& board_;
    QLabel* notice_;
    QLabel* warning_;
    int seen_ = 0;         // the board's message count when the line was put away
    int counted_ = 0;      // the board's message count last taken into recent_
    QStringList recent_;   // the messages since then, newest first
    bool wanted_ = false;  // as last told
};
