#pragma once

// What the desk PC's lockdown offers the board. The kiosk backend grabs the
// keyboard and hides other windows; the desktop backend (and tests) leave
// the PC alone.
class Lockdown {
public:
    virtual ~Lockdown() = default;
    virtual void HideTaskBar() = 0;
    virtual void ShowTaskBar() = 0;
    virtual void KeyLockOn() = 0;
    virtual void KeyLockOff() = 0;
    virtual void InstallGina() = 0;
    virtual void RebootWindows() = 0;
};

// Leaves the PC as it is: for a desktop session and until the kiosk backend exists.
class NoLockdown final : public Lockdown {
public:
    void HideTaskBar() override {}
    void ShowTaskBar() override {}
    void KeyLockOn() override {}
    void KeyLockOff() override {}
    void InstallGina() override {}
    void RebootWindows() override {}
};
