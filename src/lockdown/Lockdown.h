#pragma once

#include <QString>

// What the desk PC's lockdown offers the board. The kiosk backend grabs the
// keyboard and hides other windows; the desktop backend (and tests) leave
// the PC alone.
class Lockdown {
public:
    virtual ~Lockdown() = default;
    virtual void hideTaskBar() = 0;
    virtual void showTaskBar() = 0;
    // Holds back the key combinations that leave the board. Arming twice and
    // disarming once leaves no lock.
    virtual void armKeyboardFilter() = 0;
    virtual void disarmKeyboardFilter() = 0;
    virtual bool isArmed() const = 0;
    // The first start on a PC: puts the desk's own session in place.
    virtual void installKioskSession() = 0;
    virtual void restartComputer() = 0;
    // Returns why the PC refused to power off, or an empty text when it
    // goes down (or, on a desktop, the program ends).
    virtual QString powerOffComputer() = 0;
    // Called after every key: keeps the screen saver from starting.
    virtual void markScreenSaver() = 0;
};

// Leaves the PC as it is: for a desktop session and until the kiosk backend exists.
class NoLockdown final : public Lockdown {
public:
    void hideTaskBar() override {}
    void showTaskBar() override {}
    void armKeyboardFilter() override {}
    void disarmKeyboardFilter() override {}
    bool isArmed() const override { return false; }
    void installKioskSession() override {}
    void restartComputer() override {}
    QString powerOffComputer() override { return {}; }
    void markScreenSaver() override {}
};
