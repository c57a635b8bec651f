#include "settlement/ui/MonthChart.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>
#include <QLocale>
#include <QPainter>
#include <QStackedBarSeries>
#include <QValueAxis>
#include <algorithm>

namespace {

// The axis step: 1, 2 or 5 times a power of ten, whole won, about five steps
// up to the highest day.
qint64 axisStep(qint64 top) {
    const qint64 wanted = std::max<qint64>(1, (top + 4) / 5);
    for (qint64 power = 1;; power *= 10)
        for (const qint64 m : {1, 2, 5})
            if (m * power >= wanted) return m * power;
}

}  // namespace

QChart* makeMonthChart(const MonthSums& sums) {
    auto* dayUse = new QBarSet(QStringLiteral("대실"));
    auto* overnight = new QBarSet(QStringLiteral("숙박"));
    dayUse->setColor(QColor(128, 0, 128));
    overnight->setColor(QColor(255, 0, 0));
    QStringList days;
    qint64 top = 0;
    for (int d = 0; d < sums.days(); ++d) {
        *dayUse << double(sums.dayUse[d]);
        *overnight << double(sums.overnight[d]);
        days << QString::number(d + 1);
        top = std::max(top, sums.dayUse[d] + sums.overnight[d]);
    }
    auto* series = new QStackedBarSeries;
    series->append(dayUse);
    series->append(overnight);
    series->setBarWidth(0.8);

    auto* chart = new QChart;
    chart->addSeries(series);
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->legend()->setAlignment(Qt::AlignBottom);
    chart->setMargins(QMargins(4, 4, 4, 4));
    auto* x = new QBarCategoryAxis;
    x->append(days);
    QFont small = x->labelsFont();
    small.setPointSize(6);
    x->setLabelsFont(small);
    // Whole won with separators, ticks on whole steps even for an empty month.
    chart->setLocale(QLocale(QLocale::Korean, QLocale::SouthKorea));
    chart->setLocalizeNumbers(true);
    const qint64 step = axisStep(top);
    auto* y = new QValueAxis;
    y->setLabelFormat(QStringLiteral("%.0f"));
    y->setTickType(QValueAxis::TicksDynamic);
    y->setTickAnchor(0);
    y->setTickInterval(double(step));
    y->setRange(0, double(std::max<qint64>(1, (top + step - 1) / step) * step));
    y->setLabelsFont(small);
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    series->attachAxis(x);
    series->attachAxis(y);
    if (top == 0) {
        // A month without takings says so in the middle of its plot, rather than leaving a bare
        // box that looks like a chart that failed to draw.
        auto* note = new QGraphicsSimpleTextItem(QStringLiteral("아직 자료가 없습니다"), chart);
        QFont font = note->font();
        font.setPointSize(12);
        note->setFont(font);
        note->setBrush(QColor(96, 96, 96));
        note->setZValue(10);
        QObject::connect(chart, &QChart::plotAreaChanged, chart, [note](const QRectF& plot) {
            note->setPos(plot.center() - note->boundingRect().center());
        });
    }
    return chart;
}

void paintMonthChart(QPainter& painter, const QRectF& target, const MonthSums& sums) {
    // The chart is laid out at screen size and scaled onto the page, so that
    // its fonts keep their proportions on a 300 dpi device.
    const QSizeF layoutSize(960, 960 * target.height() / target.width());
    QGraphicsScene scene;
    QChart* chart = makeMonthChart(sums);
    scene.addItem(chart);
    chart->setGeometry(QRectF(QPointF(0, 0), layoutSize));
    scene.setSceneRect(QRectF(QPointF(0, 0), layoutSize));
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    scene.render(&painter, target, scene.sceneRect());
    painter.restore();
}
