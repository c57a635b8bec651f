#include "app/SettlementWindows.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include "platform/Errors.h"
#include "platform/OnDemandLibrary.h"
#include "settlement/ui/SettlementModule.h"

namespace {
const OnDemandLibrary& module() {
    static const QByteArray path = QFile::encodeName(
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("tavolen-settlement.so")));
    static const OnDemandLibrary library(path.constData());
    if (!library.loaded())
        throw TavolenError(QStringLiteral("결산 화면을 불러올 수 없습니다: ") +
                           QString::fromStdString(library.error()));
    return library;
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
