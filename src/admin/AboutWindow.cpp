#include "admin/AboutWindow.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

AboutWindow::AboutWindow(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("aboutWindow"));
    setWindowTitle(QStringLiteral("이프로그램에 대하여.."));
    auto* layout = new QVBoxLayout(this);
    auto* name = new QLabel(QStringLiteral("Tavolen"), this);
    QFont big = name->font();
    big.setPixelSize(24);
    big.setBold(true);
    name->setFont(big);
    layout->addWidget(name);
    layout->addWidget(new QLabel(QStringLiteral("ver 1.0"), this));
    layout->addWidget(
        new QLabel(QStringLiteral("객실 관리 프로그램\n"
                                  "설치·A/S 문의: 설치하신 공급업체로 연락해 주십시오\n"
                                  "프로그램 정보: 1.0.0 (객실 72실까지)"),
                   this));
    auto* close = new QPushButton(QStringLiteral("닫기"), this);
    close->setObjectName(QStringLiteral("closeButton"));
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(close, 0, Qt::AlignRight);
}
