#pragma once

#include <QString>

// What lasts for the whole run and every window needs: the data directory
// and who is signed in. One instance, owned by the application and passed by
// reference, so that every test starts from a clean board. Windows hand their
// results back themselves.
struct DeskSession {
    QString dataDir;  // the data directory, with a trailing separator

    int grade = 0;         // who is signed in: 0 nobody, 1 user, 2 Windows use, 3 supplier
    int gradeToCheck = 0;  // the grade the password window checks next
    // What the toolbar's sign-in button shows after the last sign-in.
    QString signInCaption;
    QString signInPicture;
};
