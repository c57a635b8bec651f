#pragma once

// The settlement windows, their chart and their printing come as a module of
// their own (tavolen-settlement.so beside the program), with Qt Charts, Qt
// Print Support and the OpenGL libraries those bring: the program loads it the
// first time a settlement is opened or printed, so that the board starts
// without them. These are the module's doors; the program's side is
// app/SettlementWindows.
#include "settlement/LedgerReader.h"
#include "settlement/Settlement.h"

class QDialog;
class QPainter;
class QRectF;
class QWidget;
struct SettlementViewParts;

extern "C" {
// A new settlement view, owned by the caller.
QDialog* tavolenMakeSettlementView(SettlementKind kind, const SettlementViewParts* parts,
                                   QWidget* owner);
void tavolenPaintMonthChart(QPainter* painter, const QRectF* target, const MonthSums* sums);
}
