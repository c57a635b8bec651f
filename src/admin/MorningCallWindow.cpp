#include "admin/MorningCallWindow.h"

#include <QCalendarWidget>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>

#include "board/BoardModel.h"

namespace {
constexpr int kWidth = 611;
constexpr int kHeight = 712;
constexpr int kHeaderHeight = 22;
constexpr int kAlarmWidth = 280;

QPushButton* button(QWidget* parent, const QString& name, const QString& caption) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

QFont codingFont() {
    QFont f(QStringLiteral("굴림체"));
    f.setPixelSize(12);
    return f;
}
}  // namespace

MorningCallWindow::MorningCallWindow(BoardModel& board, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      board_(board),
      list_(board) {
    setObjectName(QStringLiteral("morningCallWindow"));
    setWindowTitle(QStringLiteral("모닝콜/메모 설정"));
    setFont(codingFont());

    grid_ = new QTableWidget(this);
    grid_->setObjectName(QStringLiteral("sg1"));
    grid_->setColumnCount(3);
    grid_->setHorizontalHeaderLabels(
        {QStringLiteral("룸번호"), QStringLiteral("모닝콜 시간"), QStringLiteral("메모사항")});
    grid_->verticalHeader()->hide();
    grid_->verticalHeader()->setDefaultSectionSize(18);
    grid_->setColumnWidth(0, 50);
    grid_->setColumnWidth(1, 140);
    grid_->setColumnWidth(2, 380);
    grid_->horizontalHeader()->setStretchLastSection(true);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    grid_->installEventFilter(this);
    connect(grid_, &QTableWidget::cellClicked, this, &MorningCallWindow::editCell);

    auto* save = button(this, QStringLiteral("saveButton"), QStringLiteral("저장"));
    auto* close = button(this, QStringLiteral("closeButton"), QStringLiteral("닫기"));
    connect(save, &QPushButton::clicked, this, &MorningCallWindow::save);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);

    // Fixed places, as the desk's other windows have them.
    grid_->setGeometry(8, 8, kWidth - 16, kHeight - 56);
    grid_->horizontalHeader()->setFixedHeight(kHeaderHeight);
    save->setGeometry(kWidth - 184, kHeight - 40, 84, 30);
    close->setGeometry(kWidth - 92, kHeight - 40, 84, 30);
    setFixedSize(kWidth, kHeight);

    pickAlarm_ = [this](const QString& current) -> std::optional<QString> {
        AlarmWindow alarm(board_, current, this);
        alarm.exec();
        return alarm.result();
    };
    askMemo_ = [this](const QString& current) -> std::optional<QString> {
        bool ok = false;
        const QString text = QInputDialog::getText(this, QStringLiteral("메모사항"),
                                                   QStringLiteral("메모사항을 입력해 주십시오"),
                                                   QLineEdit::Normal, current, &ok);
        if (!ok) return std::nullopt;
        return text;
    };
    fill();
}

void MorningCallWindow::setPickers(Ask alarm, Ask memo) {
    pickAlarm_ = std::move(alarm);
    askMemo_ = std::move(memo);
}

void MorningCallWindow::fill() {
    const auto& rows = list_.rows();
    grid_->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < rows.size(); ++r) {
        const MorningCallList::Row& row = rows[r];
        const QString texts[] = {row.room, row.call, row.memo};
        for (int c = 0; c < 3; ++c) {
            auto* item = grid_->item(r, c);
            if (!item) {
                item = new QTableWidgetItem;
                grid_->setItem(r, c, item);
            }
            item->setText(texts[c]);
            if (c == 0) item->setBackground(palette().button());
        }
    }
}

void MorningCallWindow::editCell(int row, int column) {
    if (row < 0 || row >= list_.rows().size()) return;
    if (column == 1) {
        if (const auto call = pickAlarm_(list_.rows()[row].call)) list_.setCall(row, *call);
    } else if (column == 2) {
        if (const auto memo = askMemo_(list_.rows()[row].memo)) list_.setMemo(row, *memo);
    } else {
        return;
    }
    fill();
}

bool MorningCallWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == grid_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            editCell(grid_->currentRow(), grid_->currentColumn());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void MorningCallWindow::save() {
    if (list_.save()) accept();
}

// ---- the alarm window ----------------------------------------------------

AlarmWindow::AlarmWindow(BoardModel& board, const QString& call, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint), board_(board) {
    setObjectName(QStringLiteral("alarmWindow"));
    setWindowTitle(QStringLiteral("알람시간 설정"));
    setFont(codingFont());
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, QColor(0xEC, 0xE9, 0xD8));
    setPalette(p);

    calendar_ = new QCalendarWidget(this);
    calendar_->setObjectName(QStringLiteral("Mcd"));
    const auto spin = [this](const QString& name, int max, int step) {
        auto* s = new QSpinBox(this);
        s->setObjectName(name);
        s->setRange(0, max);
        s->setSingleStep(step);
        s->setWrapping(false);
        s->findChild<QLineEdit*>()->setReadOnly(true);  // only the arrows change it
        return s;
    };
    hour_ = spin(QStringLiteral("hourBox"), 23, 1);
    minute_ = spin(QStringLiteral("minuteBox"), 55, 5);

    const AlarmTime t = AlarmTime::fromText(call, board_.now().date());
    calendar_->setSelectedDate(t.date);
    hour_->setValue(t.hour);
    minute_->setValue(t.minute);
    if (call.isEmpty()) calendar_->setFocus();

    auto* save = button(this, QStringLiteral("saveButton"), QStringLiteral("저장"));
    auto* close = button(this, QStringLiteral("closeButton"), QStringLiteral("닫기"));
    auto* clear = button(this, QStringLiteral("clearButton"), QStringLiteral("모닝콜 해제"));
    connect(save, &QPushButton::clicked, this, &AlarmWindow::save);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(clear, &QPushButton::clicked, this, [this] {
        result_ = QString();
        accept();
    });

    calendar_->setGeometry(8, 8, kAlarmWidth - 16, 200);
    auto* label = new QLabel(QStringLiteral("시간설정"), this);
    label->setGeometry(8, 218, 60, 24);
    hour_->setGeometry(72, 218, 56, 24);
    auto* colon = new QLabel(QStringLiteral(":"), this);
    colon->setAlignment(Qt::AlignCenter);
    colon->setGeometry(128, 218, 16, 24);
    minute_->setGeometry(144, 218, 56, 24);
    save->setGeometry(8, 254, 80, 28);
    close->setGeometry(96, 254, 80, 28);
    clear->setGeometry(8, 288, kAlarmWidth - 16, 28);
    setFixedSize(kAlarmWidth, 324);
}

AlarmTime AlarmWindow::chosen() const {
    return {calendar_->selectedDate(), hour_->value(), minute_->value()};
}

void AlarmWindow::save() {
    const AlarmTime t = chosen();
    if (t.isPast(board_.now())) {
        board_.showError(
            QStringLiteral("이미 지난 시간입니다. 모닝콜은 지금 이후로 맞춰 주십시오"));
        return;
    }
    result_ = t.text();
    accept();
}
