#include "settlement/ui/SettlementModule.h"

#include "settlement/ui/MonthChart.h"
#include "settlement/ui/SettlementView.h"

QDialog* tavolenMakeSettlementView(SettlementKind kind, const SettlementViewParts* parts,
                                   QWidget* owner) {
    return new SettlementView(kind, *parts, owner);
}

void tavolenPaintMonthChart(QPainter* painter, const QRectF* target, const MonthSums* sums) {
    paintMonthChart(*painter, *target, *sums);
}
