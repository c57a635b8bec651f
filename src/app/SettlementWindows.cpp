#include "app/SettlementWindows.h"

#include "app/ProgramModule.h"
#include "settlement/ui/SettlementModule.h"

namespace {
const OnDemandLibrary& module() {
    return programModule(QStringLiteral("tavolen-settlement.so"),
                         QStringLiteral("결산 화면을 불러올 수 없습니다: "));
}
}  // namespace

namespace settlementWindows {

QDialog* makeView(SettlementKind kind, const SettlementViewParts& parts, QWidget* owner) {
    static const auto make =
        module().resolve<decltype(&tavolenMakeSettlementView)>("tavolenMakeSettlementView");
    return make(kind, &parts, owner);
}

void paintMonthChart(QPainter& painter, const QRectF& target, const MonthSums& sums) {
    static const auto paint =
        module().resolve<decltype(&tavolenPaintMonthChart)>("tavolenPaintMonthChart");
    paint(&painter, &target, &sums);
}

}  // namespace settlementWindows
