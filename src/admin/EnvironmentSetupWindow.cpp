#include "admin/EnvironmentSetupWindow.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTabBar>
#include <QVBoxLayout>

namespace {
QLineEdit* coloured(QWidget* parent, const QString& name, const QColor& colour) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(name);
    QPalette p = box->palette();
    p.setColor(QPalette::Base, colour);
    box->setPalette(p);
    return box;
}

QPushButton* button(QWidget* parent, const QString& name, const QString& caption) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}
}  // namespace

EnvironmentSetupWindow::EnvironmentSetupWindow(EnvironmentSetup& setup, QWidget* parent,
                                               const QString& devRoot)
    : QDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint), setup_(setup) {
    setObjectName(QStringLiteral("environmentSetupWindow"));
    setWindowTitle(QStringLiteral("Tavolen 환경정보"));
    QFont font(QStringLiteral("굴림"));
    font.setPixelSize(12);
    setFont(font);

    auto* tabs = new QTabBar(this);
    tabs->setObjectName(QStringLiteral("tabs"));
    tabs->setShape(QTabBar::RoundedNorth);
    tabs->addTab(QStringLiteral("일반사항"));
    tabs->addTab(QStringLiteral("닫기"));
    connect(tabs, &QTabBar::tabBarClicked, this, [this](int index) {
        if (index == 1) reject();
    });

    const QColor lightGreen(0xC0, 0xFF, 0xC0);
    auto* business = new QGroupBox(QStringLiteral("상호내역"), this);
    auto* businessGrid = new QGridLayout(business);
    name_ = coloured(business, QStringLiteral("businessNameBox"), lightGreen);
    representative_ = coloured(business, QStringLiteral("representativeBox"), lightGreen);
    telephone_ = coloured(business, QStringLiteral("telephoneBox"), lightGreen);
    for (QLineEdit* box : {name_, representative_, telephone_}) box->setFocusPolicy(Qt::ClickFocus);
    businessGrid->addWidget(new QLabel(QStringLiteral("♨상호명"), business), 0, 0);
    businessGrid->addWidget(name_, 0, 1);
    businessGrid->addWidget(new QLabel(QStringLiteral("☞대표자명"), business), 1, 0);
    businessGrid->addWidget(representative_, 1, 1);
    businessGrid->addWidget(new QLabel(QStringLiteral("☏전화번호"), business), 2, 0);
    businessGrid->addWidget(telephone_, 2, 1);
    auto* registerButton =
        button(business, QStringLiteral("registerButton"), QStringLiteral("등 록"));
    registerButton->setMinimumHeight(60);
    businessGrid->addWidget(registerButton, 0, 2, 3, 1);

    auto* places = new QGroupBox(QStringLiteral("룸위치설정"), this);
    auto* placesGrid = new QGridLayout(places);
    x_ = coloured(places, QStringLiteral("columnBox"), Qt::white);
    x_->setMaxLength(1);
    // Only the digits 1 to 6 can be typed; a pasted text is checked on the press.
    x_->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[1-6]?")), x_));
    y_ = coloured(places, QStringLiteral("rowBox"), QColor(0xFF, 0xFF, 0xC0));
    y_->setMaxLength(2);
    placesGrid->addWidget(new QLabel(QStringLiteral("가로위치"), places), 0, 0);
    placesGrid->addWidget(x_, 0, 1);
    placesGrid->addWidget(new QLabel(QStringLiteral("세로위치"), places), 1, 0);
    placesGrid->addWidget(y_, 1, 1);
    auto* create = button(places, QStringLiteral("createButton"), QStringLiteral("생성"));
    auto* remove = button(places, QStringLiteral("removeButton"), QStringLiteral("제거"));
    auto* removeAll = button(places, QStringLiteral("removeAllButton"), QStringLiteral("전체제거"));
    placesGrid->addWidget(create, 0, 2);
    placesGrid->addWidget(remove, 1, 2);
    placesGrid->addWidget(removeAll, 0, 3, 2, 1);

    auto* com = new QGroupBox(QStringLiteral("COM 포트 설정"), this);
    auto* comRow = new QHBoxLayout(com);
    port_ = new QComboBox(com);
    port_->setObjectName(QStringLiteral("portChoice"));
    port_->addItems(EnvironmentSetup::availablePorts(devRoot));
    const QString current = setup_.port();
    if (port_->findText(current) < 0) port_->addItem(current);
    port_->setCurrentText(current);
    comRow->addWidget(port_, 1);
    auto* savePortButton = button(com, QStringLiteral("savePortButton"), QStringLiteral("저장"));
    comRow->addWidget(savePortButton);

    auto* page = new QVBoxLayout(this);
    page->addWidget(tabs);
    page->addWidget(business);
    page->addWidget(places);
    page->addWidget(com);

    const EnvironmentSetup::Business b = setup_.business();
    name_->setText(b.name);
    representative_->setText(b.representative);
    telephone_->setText(b.telephone);

    connect(registerButton, &QPushButton::clicked, this, &EnvironmentSetupWindow::registerBusiness);
    connect(create, &QPushButton::clicked, this, &EnvironmentSetupWindow::createRoom);
    connect(remove, &QPushButton::clicked, this, &EnvironmentSetupWindow::removeRoom);
    connect(removeAll, &QPushButton::clicked, this, [this] { setup_.removeAll(); });
    connect(savePortButton, &QPushButton::clicked, this, &EnvironmentSetupWindow::savePort);
    resize(360, 340);
}

void EnvironmentSetupWindow::registerBusiness() {
    setup_.registerBusiness({name_->text(), representative_->text(), telephone_->text()});
}

void EnvironmentSetupWindow::withPosition(
    bool (EnvironmentSetup::*command)(EnvironmentSetup::Position&)) {
    EnvironmentSetup::Position boxes{x_->text(), y_->text()};
    (setup_.*command)(boxes);
    x_->setText(boxes.x);
    y_->setText(boxes.y);
}

void EnvironmentSetupWindow::createRoom() { withPosition(&EnvironmentSetup::createRoom); }
void EnvironmentSetupWindow::removeRoom() { withPosition(&EnvironmentSetup::removeRoom); }
void EnvironmentSetupWindow::savePort() { setup_.savePort(port_->currentText()); }
