#pragma once

#include "settlement/ui/SettlementModule.h"

// The program's side of the settlement module (settlement/ui/SettlementModule.h), loaded from
// the program's folder on first use. A module that cannot be loaded raises TavolenError, which
// the clerk's action that needed it shows.
namespace settlementWindows {
QDialog* makeView(SettlementKind kind, const SettlementViewParts& parts, QWidget* owner);
void paintMonthChart(QPainter& painter, const QRectF& target, const MonthSums& sums);
}  // namespace settlementWindows
