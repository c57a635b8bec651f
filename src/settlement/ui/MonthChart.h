#pragma once

#include <QRectF>

#include "settlement/LedgerReader.h"

class QChart;
class QPainter;

// The month's days as stacked bars, day-use under overnight; a month without takings says
// that there is nothing yet.
QChart* makeMonthChart(const MonthSums& sums);

// Draws the same chart onto a page (printer or PDF); needs a QApplication.
void paintMonthChart(QPainter& painter, const QRectF& target, const MonthSums& sums);
