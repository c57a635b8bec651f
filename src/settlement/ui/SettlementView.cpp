#include "settlement/ui/SettlementView.h"

#include <QCalendarWidget>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "settlement/NumberFormat.h"
#include "settlement/ui/ExportFileDialog.h"
#include "settlement/ui/MonthChart.h"
#include "store/Database.h"
#include "store/IniStore.h"

namespace {

const QColor kNavy(0, 0, 128);
const QColor kPurple(128, 0, 128);
const QColor kRed(255, 0, 0);

QFont gridFont() {
    QFont f(QStringLiteral("굴림체"));
    f.setPixelSize(13);
    return f;
}

// Draws the cells as the desk always has: amounts grouped, the totals bold,
// marked rows navy, each column in its own colour and alignment. Table row r
// is grid row r + 1 (the titles are the header).
class CellPainter : public QStyledItemDelegate {
public:
    CellPainter(SettlementKind kind, std::function<bool(int)> isMarked, QObject* parent)
        : QStyledItemDelegate(parent), kind_(kind), isMarked_(std::move(isMarked)) {}

    void paint(QPainter* p, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const int rows = index.model()->rowCount() + 1;  // with the titles, as the grid counts
        const int row = index.row() + 1;
        const int column = index.column();
        const QString raw = index.data().toString();
        const QString text = raw.isEmpty() ? raw : numberFormat(raw);
        const QRect cell = option.rect;

        QColor brush = Qt::white;
        QColor pen = option.palette.color(QPalette::WindowText);
        QFont font = gridFont();
        Qt::Alignment align = Qt::AlignLeft;
        const bool last = row == rows - 1;
        if (last) {
            pen = kNavy;
            font.setBold(true);
            align = Qt::AlignRight;
        } else {
            if (kind_ == SettlementKind::Daily) {
                if (row < rows - 2 && isMarked_(row)) {
                    brush = kNavy;
                    pen = Qt::white;
                }
                if (row == rows - 2) font.setBold(true);
            }
            if (kind_ == SettlementKind::Daily) {
                if (column <= 1) align = Qt::AlignHCenter;
                if (column == 4 || column == 5) {
                    align = Qt::AlignRight;
                    if (pen != Qt::white) pen = column == 4 ? kPurple : kRed;
                }
            } else {
                if (column == 0) align = Qt::AlignHCenter;
                if (column >= 1) {
                    align = Qt::AlignRight;
                    pen = column == 1 ? kPurple : column == 2 ? kRed : kNavy;
                }
            }
        }
        p->save();
        p->fillRect(cell, brush);
        p->setFont(font);
        p->setPen(pen);
        const QRect inner = cell.adjusted(2, 3, -2, 0);
        p->drawText(inner, align | Qt::AlignTop, text);
        p->restore();
    }

private:
    SettlementKind kind_;
    std::function<bool(int)> isMarked_;
};

QStringList hourItems() {
    QStringList items;
    for (int h = 0; h < 24; ++h) items << QStringLiteral("%1").arg(h, 2, 10, QLatin1Char('0'));
    return items;
}

QString minuteText(const QDateTime& t) { return t.toString(QStringLiteral("yyyy-MM-dd HH:mm")); }

}  // namespace

SettlementView::SettlementView(SettlementKind kind, SettlementViewParts parts, QWidget* parent)
    : QDialog(parent), kind_(kind), parts_(std::move(parts)) {
    setWindowFlag(Qt::Tool);
    setModal(true);
    setFont(gridFont());

    grid_ = new QTableWidget(this);
    grid_->verticalHeader()->hide();
    grid_->verticalHeader()->setDefaultSectionSize(18);
    grid_->setShowGrid(true);
    grid_->setFocusPolicy(Qt::NoFocus);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->setSelectionMode(QAbstractItemView::NoSelection);
    grid_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    grid_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QFont header = gridFont();
    header.setBold(true);
    header.setPointSize(10);
    grid_->horizontalHeader()->setFont(header);
    grid_->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid_->setItemDelegate(new CellPainter(
        kind_, [this](int row) { return day_.isMarked(row); }, grid_));
    grid_->viewport()->installEventFilter(this);
    grid_->installEventFilter(this);

    deleteButton_ = new QToolButton(this);
    deleteButton_->setIcon(style()->standardIcon(QStyle::SP_TrashIcon));
    deleteButton_->setFixedSize(33, 22);
    deleteButton_->hide();
    auto* printButton = new QPushButton(QStringLiteral("인쇄"), this);
    auto* exportButton = new QPushButton(QStringLiteral("엑셀"), this);
    auto* closeButton = new QPushButton(QStringLiteral("닫기"), this);
    for (QPushButton* b : {printButton, exportButton}) b->setFixedSize(92, 25);
    closeButton->setFixedSize(108, 25);
    connect(deleteButton_, &QToolButton::clicked, this, &SettlementView::deleteMarked);
    connect(printButton, &QPushButton::clicked, this, &SettlementView::print);
    connect(exportButton, &QPushButton::clicked, this, &SettlementView::exportSpreadsheet);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::accept);
    for (QWidget* w :
         std::initializer_list<QWidget*>{deleteButton_, printButton, exportButton, closeButton})
        w->installEventFilter(this);

    auto* buttons = new QFrame(this);
    buttons->setFrameShape(QFrame::Panel);
    buttons->setFrameShadow(QFrame::Raised);
    auto* buttonGrid = new QHBoxLayout(buttons);
    buttonGrid->addWidget(deleteButton_);
    auto* printExport = new QVBoxLayout;
    printExport->addWidget(printButton);
    printExport->addWidget(exportButton);
    buttonGrid->addLayout(printExport);
    buttonGrid->addWidget(closeButton);

    hourBox_ = new QComboBox(this);
    hourBox_->addItems(hourItems());
    hourBox_->setMaxVisibleItems(12);
    hourBox_->setCurrentIndex(settlementSettings::hour(parts_.ini));
    baseDate_ = parts_.clock.now().date();

    auto* bottom = new QHBoxLayout;
    auto* main = new QVBoxLayout(this);
    main->setContentsMargins(1, 1, 1, 4);
    if (kind_ == SettlementKind::Daily) {
        buildDailyPanel();
        main->addWidget(grid_, 1);
        figures_ = new QLabel(this);
        main->addWidget(figures_);
        bottom->addWidget(findChild<QFrame*>(QStringLiteral("dailyPanel")), 1);
    } else {
        buildMonthlyPanel();
        auto* top = new QHBoxLayout;
        top->addWidget(grid_);
        top->addWidget(chartView_, 1);
        main->addLayout(top, 1);
        bottom->addWidget(findChild<QFrame*>(QStringLiteral("monthlyPanel")), 1);
    }
    bottom->addWidget(buttons);
    main->addLayout(bottom);

    if (kind_ == SettlementKind::Daily) {
        resize(669, 699);
        refillDay();
    } else {
        resize(1100, 699);
        refillMonth();
    }

    askExportFile = [this] {
        return ExportFileDialog::ask(parts_.exportTargets, parts_.dialogs, this);
    };
    showPrintPreview = [this](const SettlementReport& report) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setDocName(report.title);  // the print job's name
        QPrintPreviewDialog preview(&printer, this);
        preview.setWindowTitle(QStringLiteral("일일결산"));
        connect(&preview, &QPrintPreviewDialog::paintRequested, &preview, [&](QPrinter* p) {
            // Printing to a file must not overwrite one of the desk's own.
            const QString refusal = p->outputFileName().isEmpty()
                                        ? QString()
                                        : parts_.exportTargets.refusal(p->outputFileName());
            if (!refusal.isEmpty()) {
                parts_.dialogs.showError(refusal);
                return;
            }
            try {
                ChartPainter chart;
                if (report.month)
                    chart = [&](QPainter& painter, const QRectF& r) {
                        paintMonthChart(painter, r, *report.month);
                    };
                paintReport(report, *p, chart);
            } catch (const std::exception& e) {
                parts_.dialogs.showError(errorText(e));
            }
        });
        preview.exec();
    };
}

SettlementView::~SettlementView() = default;

void SettlementView::buildDailyPanel() {
    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("dailyPanel"));
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Raised);
    dateBox_ = new QLineEdit(panel);
    dateBox_->setReadOnly(true);
    dateBox_->setFixedWidth(90);
    dateBox_->installEventFilter(this);
    orderBox_ = new QComboBox(panel);
    orderBox_->addItems({QStringLiteral("룸기준"), QStringLiteral("시간기준")});
    hourBox_->setParent(panel);
    hourMirror_ = new QComboBox(panel);
    hourMirror_->addItems(hourItems());
    hourMirror_->setEnabled(false);
    hourMirror_->setCurrentIndex(hourBox_->currentIndex());
    fromLabel_ = new QLabel(QStringLiteral("정산시간: 전날"), panel);
    toLabel_ = new QLabel(QStringLiteral("시 부터 오늘"), panel);

    auto* lines = new QVBoxLayout(panel);
    lines->setContentsMargins(6, 2, 6, 2);
    auto* first = new QHBoxLayout;
    first->addWidget(new QLabel(QStringLiteral("기준일자:"), panel));
    first->addWidget(dateBox_);
    first->addSpacing(12);
    first->addWidget(new QLabel(QStringLiteral("정렬방식:"), panel));
    first->addWidget(orderBox_);
    first->addStretch();
    auto* second = new QHBoxLayout;
    second->addWidget(fromLabel_);
    second->addWidget(hourBox_);
    second->addWidget(toLabel_);
    second->addWidget(hourMirror_);
    second->addWidget(new QLabel(QStringLiteral("시"), panel));
    second->addStretch();
    lines->addLayout(first);
    lines->addLayout(second);
    for (QWidget* w : std::initializer_list<QWidget*>{orderBox_, hourBox_})
        w->installEventFilter(this);

    calendar_ = new QCalendarWidget(this);
    calendar_->setFirstDayOfWeek(Qt::Sunday);
    calendar_->setGeometry(30, 501, 240, 170);
    calendar_->setSelectedDate(baseDate_);
    calendar_->hide();
    dateBox_->setText(baseDate_.toString(QStringLiteral("yyyy-MM-dd")));

    connect(hourBox_, &QComboBox::currentIndexChanged, this, [this](int index) {
        try {
            settlementSettings::setHour(parts_.ini, index);
        } catch (const std::exception& e) {
            parts_.dialogs.showError(errorText(e));
        }
        hourMirror_->setCurrentIndex(index);
        refillDay();
    });
    connect(orderBox_, &QComboBox::currentIndexChanged, this, [this] { refillDay(); });
    connect(calendar_, &QCalendarWidget::clicked, this, [this](QDate date) {
        calendar_->hide();
        setBaseDate(date);
    });
}

void SettlementView::buildMonthlyPanel() {
    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("monthlyPanel"));
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Raised);
    hourBox_->setParent(panel);
    hourBox_->hide();  // the monthly view settles by the stored hour
    monthBox_ = new QComboBox(panel);
    monthsKeptBox_ = new QComboBox(panel);
    for (int m = 1; m <= 6; ++m) monthsKeptBox_->addItem(QString::number(m));
    monthsKeptBox_->setCurrentIndex(settlementSettings::ledgerMonths(parts_.ini) - 1);
    auto* line = new QHBoxLayout(panel);
    line->addWidget(new QLabel(QStringLiteral("기준월"), panel));
    line->addWidget(monthBox_);
    line->addWidget(new QLabel(QStringLiteral("월"), panel));
    line->addSpacing(16);
    line->addWidget(new QLabel(QStringLiteral("자료보존"), panel));
    line->addWidget(monthsKeptBox_);
    line->addWidget(new QLabel(QStringLiteral("개월간"), panel));
    line->addStretch();
    rebuildMonthList();

    chartView_ = new QChartView(this);
    chartView_->setRenderHint(QPainter::Antialiasing);
    chartView_->setMinimumWidth(420);

    connect(monthBox_, &QComboBox::currentIndexChanged, this, [this] { refillMonth(); });
    connect(monthsKeptBox_, &QComboBox::activated, this, [this](int index) {
        const int months = index + 1;
        try {
            settlementSettings::setLedgerMonths(parts_.ini, months);
        } catch (const std::exception& e) {
            parts_.dialogs.showError(errorText(e));
        }
        if (parts_.ledgerMonthsChanged) parts_.ledgerMonthsChanged(months);
        const QSignalBlocker quiet(monthBox_);  // the grid keeps the month it shows
        rebuildMonthList();
    });
}

void SettlementView::rebuildMonthList() {
    monthBox_->clear();
    monthBox_->addItems(monthlySettlement::monthList(parts_.clock.now().date(),
                                                     monthsKeptBox_->currentIndex() + 1));
    monthBox_->setCurrentIndex(0);
}

void SettlementView::setBaseDate(QDate date) {
    if (!date.isValid()) return;
    baseDate_ = date;
    dateBox_->setText(date.toString(QStringLiteral("yyyy-MM-dd")));
    refillDay();
}

void SettlementView::refillDay() {
    const int hour = hourBox_->currentIndex();
    const SettlementWindow window =
        settlementWindow(baseDate_, hour, parts_.clock.now().time().hour());
    setWindowTitle(QStringLiteral("일합계 : ") + minuteText(window.start) + QStringLiteral(" ~ ") +
                   minuteText(window.end));
    fromLabel_->setText(window.startsDayBefore ? QStringLiteral("정산시간: 전날 ")
                                               : QStringLiteral("정산시간: 오늘 "));
    toLabel_->setText(window.startsDayBefore ? QStringLiteral("시 부터 오늘 ")
                                             : QStringLiteral("시 부터 내일 "));
    std::vector<LedgerStay> stays;
    try {
        stays = ledger::readStays(
            parts_.db.connection(), window,
            orderBox_->currentIndex() == 1 ? StayOrder::ByTime : StayOrder::ByRoom);
    } catch (const std::exception& e) {
        parts_.dialogs.showError(errorText(e));
        stays.clear();
    }
    day_.fill(std::move(stays));
    showGrid(day_.grid(), {40, 57, 173, 220, 75, 75});
    figures_->setText(day_.figures(settlementSettings::roomsOnBoard(parts_.ini)));
    updateDeleteButton();
}

void SettlementView::refillMonth() {
    int year = 0, month = 0;
    if (!monthlySettlement::parseMonth(monthBox_->currentText(), year, month)) return;
    setWindowTitle(QStringLiteral("월합계"));
    const int hour = hourBox_->currentIndex();
    try {
        month_ = ledger::readMonth(parts_.db.connection(), year, month, hour,
                                   parts_.clock.now().time().hour() < hour);
    } catch (const std::exception& e) {
        parts_.dialogs.showError(errorText(e));
        month_ = MonthSums{year, month, {}, {}};
        const int days = QDate(year, month, 1).daysInMonth();
        month_.dayUse.assign(days, 0);
        month_.overnight.assign(days, 0);
    }
    showGrid(monthlySettlement::grid(month_), {35, 98, 100, 100});
    chartView_->setChart(makeMonthChart(month_));  // the view deletes the chart it showed before
    chartView_->chart()->setTitle(monthBox_->currentText() + QStringLiteral("월"));
}

void SettlementView::showGrid(const SettlementGrid& grid, const QList<int>& widths) {
    grid_->setUpdatesEnabled(false);
    grid_->clearContents();
    grid_->setColumnCount(int(widths.size()));
    grid_->setHorizontalHeaderLabels(grid.front());
    grid_->setRowCount(int(grid.size()) - 1);
    for (int c = 0; c < widths.size(); ++c) grid_->setColumnWidth(c, widths[c]);
    int total = 2;
    for (int w : widths) total += w;
    grid_->setMinimumWidth(total + grid_->verticalScrollBar()->sizeHint().width());
    for (int r = 1; r < int(grid.size()); ++r) {
        for (int c = 0; c < grid[r].size(); ++c) {
            auto* item = new QTableWidgetItem(grid[r][c]);
            item->setFlags(c == 0 ? Qt::ItemIsEnabled : Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            grid_->setItem(r - 1, c, item);
        }
    }
    grid_->setUpdatesEnabled(true);
}

void SettlementView::updateDeleteButton() { deleteButton_->setVisible(day_.markCount() != 0); }

void SettlementView::pressGridRow(int row, Qt::MouseButton button,
                                  Qt::KeyboardModifiers modifiers) {
    if (kind_ != SettlementKind::Daily) return;
    const bool plain = button == Qt::LeftButton &&
                       !(modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier));
    if (day_.press(row, plain) == DailySettlement::MarkResult::Running)
        parts_.dialogs.showError(QStringLiteral("완료상태가 되지않은 자료는 선택할수 없습니다"));
    grid_->viewport()->update();
    updateDeleteButton();
}

void SettlementView::deleteMarked() {
    const int grade = parts_.signedInGrade ? parts_.signedInGrade() : 0;
    if (grade != 1 && grade != 3) {
        if (parts_.dialogs.askYesNo(QStringLiteral("사용자 인증을 하셔야 합니다. 하시겠습니까?")) &&
            parts_.signIn)
            parts_.signIn(1);
        return;
    }
    if (day_.markCount() == 0) return;
    if (!parts_.dialogs.askYesNo(QStringLiteral("선택된 항목을 삭제하시겠습니까?"))) return;
    try {
        ledger::deleteStays(parts_.db.connection(), day_.markedStays(), grade, parts_.clock.now());
    } catch (const std::exception& e) {
        parts_.dialogs.showError(errorText(e));
        return;
    }
    refillDay();
}

SettlementReport SettlementView::report() const {
    if (kind_ == SettlementKind::Daily) return SettlementReport::daily(baseDate_, day_);
    // The month the grid shows: after a change of the months kept the month
    // box is back on the current month while the grid still shows its own.
    return SettlementReport::monthly(QStringLiteral("%1-%2").arg(month_.year).arg(month_.month),
                                     month_);
}

void SettlementView::print() {
    if (showPrintPreview) showPrintPreview(report());
}

void SettlementView::exportSpreadsheet() {
    const SettlementReport r = report();
    const QString path = askExportFile ? askExportFile() : QString();
    if (path.isEmpty()) return;
    const QString refusal = parts_.exportTargets.refusal(path);
    if (!refusal.isEmpty()) {
        parts_.dialogs.showError(refusal);
        return;
    }
    try {
        writeReport(r, path);
    } catch (const std::exception& e) {
        parts_.dialogs.showError(errorText(e));
    }
}

bool SettlementView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress) {
        if (watched == dateBox_) {
            calendar_->setSelectedDate(baseDate_);
            calendar_->show();
            calendar_->raise();
        } else if (watched == grid_->viewport()) {
            auto* press = static_cast<QMouseEvent*>(event);
            const QModelIndex at = grid_->indexAt(press->position().toPoint());
            if (at.isValid()) pressGridRow(at.row() + 1, press->button(), press->modifiers());
            return true;
        }
    } else if (event->type() == QEvent::Enter && calendar_ && watched != dateBox_) {
        // The calendar stays only while the pointer is on it.
        calendar_->hide();
    }
    return QDialog::eventFilter(watched, event);
}
