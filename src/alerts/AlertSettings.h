#pragma once

#include <QString>
#include <QStringList>

class IniStore;

// `[Alert]` in TavolenConfig.ini: where the owner's alerts go and which events raise one.
//   Smtp                smtps://host:465 (TLS) or smtp://host:587 (STARTTLS, required)
//   From, To            the sender and the receivers (comma-separated)
//   CredentialsFile     the mail account: the user on the first line, the password on the
//                       second; readable by the program's user only
//   Webhook             an https:// URL that receives a small JSON document
//   CaFile              the certificate authorities to trust, when not the system's
//   LineSilentMinutes   how long the controller may be silent while rooms are in a stay (30)
//   and one switch per event (1 on, 0 off; all on by default): LineSilent, UncleanStart,
//   StorageWarning, CentralStopped, LedgerRowsDeleted, RemoveAll, PasswordChanged,
//   MorningCallMissed, WrongPasswords.
struct AlertSettings {
    QString smtp;
    QString from;
    QStringList to;
    QString user;
    QString password;
    QString webhook;
    QString caFile;
    int lineSilentMinutes = 30;
    QString businessName;  // `Motel`/`CoName`, named in every alert
    // The stored kinds (the trail's words and the desk's own) that raise an alert.
    QStringList kinds;

    bool mails() const { return !smtp.isEmpty(); }
    bool posts() const { return !webhook.isEmpty(); }
    bool configured() const { return mails() || posts(); }

    // Reads and checks the settings. What cannot be used is left out and said in `problems`
    // (a plain-text mail server, a webhook not on HTTPS, an account file others can read).
    static AlertSettings read(const IniStore& ini, QStringList& problems);

    // Every kind of alert, with its switch's key.
    struct Kind {
        const char* stored;
        const char* key;
    };
    static const QList<Kind>& allKinds();
};
