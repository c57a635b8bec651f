#include <gtest/gtest.h>

#include <QCalendarWidget>
#include <QChart>
#include <QComboBox>
#include <QGraphicsSimpleTextItem>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>
#include <QValueAxis>

#include "settlement/SettlementFixture.h"
#include "settlement/ui/MonthChart.h"
#include "settlement/ui/SettlementView.h"

namespace {

const QString kDayUse = QStringLiteral("대실");

struct ViewFixture : LedgerFixture {
    FixedClock clock{QDateTime(QDate(2006, 4, 2), QTime(1, 15))};
    ScriptedDialogs dialogs;
    int grade = 0;
    QList<int> signIns;
    QList<int> monthsTold;

    std::unique_ptr<SettlementView> open(SettlementKind kind) {
        return std::make_unique<SettlementView>(
            kind, SettlementViewParts{db, ini, clock, dialogs, [this] { return grade; },
                                      [this](int g) { signIns << g; },
                                      [this](int m) { monthsTold << m; }});
    }
    QString cell(SettlementView& v, int gridRow, int column) {
        QTableWidgetItem* item = v.grid()->item(gridRow - 1, column);
        return item ? item->text() : QString();
    }
    void click(SettlementView& v, int gridRow, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        v.show();
        const QRect r = v.grid()->visualItemRect(v.grid()->item(gridRow - 1, 1));
        QTest::mouseClick(v.grid()->viewport(), Qt::LeftButton, mods, r.center());
    }
};

TEST(SettlementView, DailyWindowFollowsTheHourItIsOpenedAt) {
    ViewFixture f;
    f.ini.writeString("CashTime", "start", "03");
    f.addStay("101", "200604010300", "200604010500", kDayUse, "30000");
    f.addStay("102", "200604020300", "200604020500", kDayUse, "40000");
    auto early = f.open(SettlementKind::Daily);
    EXPECT_EQ(early->windowTitle(), QStringLiteral("일합계 : 2006-04-01 03:00 ~ 2006-04-02 03:00"));
    EXPECT_EQ(early->fromLabel()->text(), QStringLiteral("정산시간: 전날 "));
    EXPECT_EQ(early->toLabel()->text(), QStringLiteral("시 부터 오늘 "));
    EXPECT_EQ(early->hourBox()->currentText(), QStringLiteral("03"));
    EXPECT_EQ(f.cell(*early, 1, 1), QStringLiteral("101호"));

    f.clock.set(QDateTime(QDate(2006, 4, 2), QTime(9, 0)));
    auto later = f.open(SettlementKind::Daily);
    EXPECT_EQ(later->windowTitle(), QStringLiteral("일합계 : 2006-04-02 03:00 ~ 2006-04-03 03:00"));
    EXPECT_EQ(later->fromLabel()->text(), QStringLiteral("정산시간: 오늘 "));
    EXPECT_EQ(f.cell(*later, 1, 1), QStringLiteral("102호"));
    EXPECT_EQ(later->dateBox()->text(), QStringLiteral("2006-04-02"));

    later->hourBox()->setCurrentIndex(0);
    EXPECT_EQ(f.ini.readString("CashTime", "start", ""), QStringLiteral("00"));
    EXPECT_EQ(later->windowTitle(), QStringLiteral("일합계 : 2006-04-02 00:00 ~ 2006-04-03 00:00"));

    later->setBaseDate(QDate(2006, 4, 1));
    EXPECT_EQ(f.cell(*later, 1, 1), QStringLiteral("101호"));
    EXPECT_TRUE(later->figuresLabel()->text().startsWith(QStringLiteral("대실 1건")));
}

TEST(SettlementView, MarkingThenDeletingRemovesExactlyTheMarkedRowsShown) {
    ViewFixture f;
    f.clock.set(QDateTime(QDate(2006, 4, 2), QTime(12, 0)));
    f.addStay("101", "200604021000", "200604021100", kDayUse, "1");
    f.addStay("102", "200604021000", "", kDayUse, "2");
    f.addStay("103", "200604021000", "200604021100", kDayUse, "3");
    f.addStay("201", "200604011000", "200604011100", kDayUse, "4");
    auto v = f.open(SettlementKind::Daily);

    f.click(*v, 2);
    EXPECT_EQ(f.dialogs.errors, QStringList{"완료상태가 되지않은 자료는 선택할수 없습니다"});
    EXPECT_FALSE(v->deleteButton()->isVisible());
    f.click(*v, 3, Qt::ControlModifier);
    EXPECT_EQ(v->day().markCount(), 0);
    f.click(*v, 1);
    EXPECT_TRUE(v->deleteButton()->isVisible());

    // Another day with the mark set: the refill clears it, nothing of it is deleted.
    v->setBaseDate(QDate(2006, 4, 1));
    EXPECT_FALSE(v->deleteButton()->isVisible());
    v->setBaseDate(QDate(2006, 4, 2));
    f.click(*v, 3);

    v->deleteMarked();  // nobody signed in
    EXPECT_EQ(f.dialogs.questions.last(),
              QStringLiteral("사용자 인증을 하셔야 합니다. 하시겠습니까?"));
    EXPECT_EQ(f.signIns, QList<int>{1});
    EXPECT_EQ(f.ledgerRows(), 4);

    f.grade = 1;
    f.dialogs.answers = {false};
    v->deleteMarked();
    EXPECT_EQ(f.ledgerRows(), 4);
    v->deleteMarked();
    EXPECT_EQ(f.dialogs.questions.last(), QStringLiteral("선택된 항목을 삭제하시겠습니까?"));
    EXPECT_EQ(f.ledgerRows(), 3);
    EXPECT_EQ(f.cell(*v, 1, 1), QStringLiteral("101호"));
    EXPECT_EQ(f.cell(*v, 2, 1), QStringLiteral("102호"));
    EXPECT_EQ(f.cell(*v, 3, 0), QStringLiteral("합계"));
    EXPECT_FALSE(v->deleteButton()->isVisible());
}

TEST(SettlementView, CalendarPicksTheDayAndHidesAgain) {
    ViewFixture f;
    auto v = f.open(SettlementKind::Daily);
    v->show();
    QTest::mouseClick(v->dateBox(), Qt::LeftButton);
    EXPECT_TRUE(v->calendar()->isVisible());
    v->calendar()->setSelectedDate(QDate(2006, 3, 30));
    emit v->calendar()->clicked(QDate(2006, 3, 30));
    EXPECT_FALSE(v->calendar()->isVisible());
    EXPECT_EQ(v->dateBox()->text(), QStringLiteral("2006-03-30"));
}

TEST(SettlementView, MonthlyListsTheMonthsKeptAndFillsTheChosenMonth) {
    ViewFixture f;
    f.clock.set(QDateTime(QDate(2006, 4, 9), QTime(12, 0)));
    f.ini.writeString("CashTime", "SaveMonth", "9");
    f.addStay("101", "200603311000", "", kDayUse, "30000");
    auto v = f.open(SettlementKind::Monthly);
    EXPECT_EQ(v->windowTitle(), QStringLiteral("월합계"));
    EXPECT_EQ(v->monthsKeptBox()->currentText(), QStringLiteral("6"));
    EXPECT_EQ(v->monthBox()->count(), 7);
    EXPECT_EQ(v->grid()->rowCount(), 31) << "30 days and 총합";

    v->monthBox()->setCurrentIndex(1);
    EXPECT_EQ(v->grid()->rowCount(), 32);
    EXPECT_EQ(f.cell(*v, 31, 1), QStringLiteral("30000"));

    v->monthsKeptBox()->setCurrentIndex(1);
    emit v->monthsKeptBox()->activated(1);
    EXPECT_EQ(v->monthBox()->count(), 3);
    EXPECT_EQ(f.ini.readString("CashTime", "SaveMonth", ""), QStringLiteral("2"));
    EXPECT_EQ(f.monthsTold, QList<int>{2});
    EXPECT_EQ(f.cell(*v, 31, 1), QStringLiteral("30000")) << "the grid keeps its month";
    EXPECT_EQ(v->report().title, QStringLiteral("2006-3월 결산"))
        << "the report is of the month shown";
}

TEST(SettlementView, DamagedRowsAndUnwritableFilesShowMessagesAndTheViewGoesOn) {
    ViewFixture f;
    f.clock.set(QDateTime(QDate(2006, 4, 2), QTime(12, 0)));
    f.addStay("101", "200604021000", "", kDayUse, "abc");
    auto v = f.open(SettlementKind::Daily);
    ASSERT_EQ(f.dialogs.errors.size(), 1);
    EXPECT_TRUE(f.dialogs.errors[0].contains("abc"));
    EXPECT_EQ(v->grid()->rowCount(), 1);

    v->setBaseDate(QDate(2006, 4, 1));
    EXPECT_EQ(f.dialogs.errors.size(), 1);
    v->askExportFile = [&] { return f.dir.filePath("missing/dir/x.xls"); };
    v->exportSpreadsheet();
    EXPECT_EQ(f.dialogs.errors.size(), 2);
    v->askExportFile = [&] { return QString(); };
    v->exportSpreadsheet();
    EXPECT_EQ(f.dialogs.errors.size(), 2) << "a cancelled save dialog does nothing";
    const QString file = f.dir.filePath("day.xlsx");
    v->askExportFile = [&] { return file; };
    v->exportSpreadsheet();
    EXPECT_TRUE(QFileInfo::exists(file));

    QList<QString> previews;
    v->showPrintPreview = [&](const SettlementReport& r) { previews << r.title; };
    v->print();
    v->print();
    EXPECT_EQ(previews, (QList<QString>{"2006년04월01일 결산", "2006년04월01일 결산"}));
}

TEST(SettlementView, TwoThousandStaysInOneDay) {
    ViewFixture f;
    f.clock.set(QDateTime(QDate(2006, 4, 2), QTime(12, 0)));
    execSql(f.db, "BEGIN");
    for (int i = 0; i < 2000; ++i)
        f.addStay(QString::number(101 + i % 72),
                  QStringLiteral("2006040210%1").arg(i % 60, 2, 10, QChar('0')), "200604021200",
                  kDayUse, "30000");
    execSql(f.db, "COMMIT");
    auto v = f.open(SettlementKind::Daily);
    EXPECT_EQ(v->grid()->rowCount(), 2002);
    EXPECT_EQ(f.cell(*v, 2002, 5), QStringLiteral("60000000"));
    v->show();
    v->grid()->scrollToBottom();
    const QRect r = v->grid()->visualItemRect(v->grid()->item(1999, 1));
    QTest::mouseClick(v->grid()->viewport(), Qt::LeftButton, Qt::NoModifier, r.center());
    EXPECT_TRUE(v->day().isMarked(2000));
}

TEST(MonthChart, AxisStepsAreWholeWonWithSeparators) {
    // Each case: the highest day, the axis top and its step.
    const struct {
        qint64 top;
        double axisTop, step;
    } cases[] = {
        {0, 1, 1}, {3, 3, 1}, {15'000'000, 15'000'000, 5'000'000}, {1'234'567, 1'500'000, 500'000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.top);
        MonthSums sums{2006, 4, std::vector<qint64>(30, 0), std::vector<qint64>(30, 0)};
        sums.overnight[9] = c.top;
        std::unique_ptr<QChart> chart(makeMonthChart(sums));
        const auto* y = qobject_cast<QValueAxis*>(chart->axes(Qt::Vertical).value(0));
        ASSERT_NE(y, nullptr);
        EXPECT_EQ(y->min(), 0);
        EXPECT_EQ(y->max(), c.axisTop);
        EXPECT_EQ(y->tickInterval(), c.step);
        EXPECT_TRUE(chart->localizeNumbers());
        EXPECT_EQ(chart->locale().toString(1234567.0, 'f', 0), QStringLiteral("1,234,567"));
    }
}

TEST(MonthChart, AnEmptyMonthSaysSoInItsPlot) {
    // The notice, found among the chart's items, or nothing.
    const auto notice = [](QChart& chart) -> QGraphicsSimpleTextItem* {
        for (QGraphicsItem* item : chart.childItems())
            if (auto* text = dynamic_cast<QGraphicsSimpleTextItem*>(item);
                text && text->text() == QStringLiteral("아직 자료가 없습니다"))
                return text;
        return nullptr;
    };
    MonthSums sums{2006, 4, std::vector<qint64>(30, 0), std::vector<qint64>(30, 0)};
    std::unique_ptr<QChart> empty(makeMonthChart(sums));
    empty->setGeometry(QRectF(0, 0, 600, 400));
    QGraphicsSimpleTextItem* text = notice(*empty);
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(text->isVisible());
    const QRectF plot = empty->plotArea();
    ASSERT_FALSE(plot.isEmpty());
    const QRectF box = text->mapRectToParent(text->boundingRect());
    EXPECT_TRUE(plot.contains(box));
    EXPECT_LT(QLineF(box.center(), plot.center()).length(), 2);

    sums.dayUse[29] = 30000;
    std::unique_ptr<QChart> withTakings(makeMonthChart(sums));
    EXPECT_EQ(notice(*withTakings), nullptr);
}

}  // namespace
