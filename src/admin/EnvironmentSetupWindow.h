#pragma once

#include <QDialog>

#include "admin/EnvironmentSetup.h"

class QComboBox;
class QLineEdit;
class QTabBar;

// The supplier's environment setup: the business's details, the panel
// places of the board, wiping every room, and the controller's port. It
// renders EnvironmentSetup and forwards the presses.
class EnvironmentSetupWindow : public QDialog {
    Q_OBJECT
public:
    EnvironmentSetupWindow(EnvironmentSetup& setup, QWidget* parent = nullptr,
                           const QString& devRoot = QStringLiteral("/dev"));

private:
    void registerBusiness();
    void createRoom();
    void removeRoom();
    void savePort();
    // Runs a position command and shows the boxes as it left them.
    void withPosition(bool (EnvironmentSetup::*command)(EnvironmentSetup::Position&));

    EnvironmentSetup& setup_;
    QLineEdit* name_ = nullptr;
    QLineEdit* representative_ = nullptr;
    QLineEdit* telephone_ = nullptr;
    QLineEdit* x_ = nullptr;
    QLineEdit* y_ = nullptr;
    QComboBox* port_ = nullptr;
};
