#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

#include "platform/Errors.h"

struct sqlite3;

// An account of the owner's live view: a name and its own password, never a
// grade of the desk. `downloads` lets it fetch the report files too; without
// it the account only reads.
struct WebAccount {
    QString name;
    bool downloads = false;
    QString changed;  // when the password was last set, "yyyy-MM-dd HH:mm"
};

// What one command did to the accounts, for whoever keeps a trail of it.
struct WebAccountChange {
    enum class Kind { Added, PasswordChanged, Removed };
    Kind kind = Kind::Added;
    QString name;
    bool downloads = false;
};

// A request the accounts refuse (a bad name, a short password, no such
// account); nothing was changed.
class WebAccountRefused : public TavolenError {
public:
    using TavolenError::TavolenError;
};

// The live view's accounts in the desk's database (table tavolen_web_account),
// passwords kept as argon2id hashes. Works on a connection it is given: the
// command's read-write one, or the server's read-only one. Names are matched
// without regard to case. Database failures raise DatabaseError.
class WebAccounts {
public:
    static constexpr int kMinPasswordLength = 10;
    static constexpr int kMaxNameLength = 32;

    explicit WebAccounts(sqlite3* db) : db_(db) {}

    // Why `name` cannot name an account, or an empty text.
    static QString nameProblem(const QString& name);
    // Why `fresh` cannot be an account's password, or an empty text.
    static QString passwordProblem(const QString& fresh, const QString& repeat);

    WebAccountChange add(const QString& name, const QString& password, const QString& repeat,
                         bool downloads, const QDateTime& now);
    WebAccountChange changePassword(const QString& name, const QString& password,
                                    const QString& repeat, const QDateTime& now);
    WebAccountChange remove(const QString& name);
    // None when the table was never made.
    QList<WebAccount> list();

    // The account as it stands now: its stored name, its access and a stamp
    // of its password and access, which changes whenever either does.
    struct Current {
        QString name;
        bool downloads = false;
        QByteArray stamp;
    };
    std::optional<Current> current(const QString& name);
    // The account when `password` is its own. An unknown name costs as long
    // as a wrong password, so that the time of the answer does not tell
    // which names exist.
    std::optional<Current> verify(const QString& name, const QString& password);

private:
    struct Row {
        Current current;
        QString hash;
    };
    std::optional<Row> find(const QString& name);
    bool tableExists();

    sqlite3* db_;
};
