#pragma once

// A throwaway PostgreSQL server of the test's own: the cluster is made once per program
// (initdb into a template directory), each server starts from a copy of it and listens on a
// Unix socket in its own directory, and on a loopback port too when the test's settings say
// so (`extraSettings`: more `-c name=value` for the server, `port` its port). PostgreSQL refuses to
// run as root, so when the tests run as root (CI) the server runs as the user `postgres` of
// Debian's package.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <atomic>

class PgServer {
public:
    static QString binDir() { return QStringLiteral("/usr/lib/postgresql/15/bin"); }
    static bool available() { return QFile::exists(binDir() + QStringLiteral("/initdb")); }

    explicit PgServer(QString extraSettings = {}, int port = 5432)
        : extraSettings_(std::move(extraSettings)), port_(port) {
        static std::atomic<int> counter{0};
        dir_ = QDir(base().path()).filePath(QStringLiteral("s%1").arg(++counter));
        run({QStringLiteral("cp"), QStringLiteral("-a"), templateDir(), dir_}, false);
        started_ = start();
    }
    ~PgServer() {
        stop(QStringLiteral("immediate"));
        QDir(dir_).removeRecursively();
    }
    PgServer(const PgServer&) = delete;
    PgServer& operator=(const PgServer&) = delete;

    bool isUp() const { return started_; }
    const QString& log() const { return log_; }
    // The superuser's connection to the database `postgres`.
    QString connection(const QString& user = QStringLiteral("postgres")) const {
        return QStringLiteral("host=%1 port=%2 dbname=postgres user=%3 connect_timeout=3")
            .arg(dir_)
            .arg(port_)
            .arg(user);
    }

    bool start() {
        started_ =
            run({binDir() + QStringLiteral("/pg_ctl"), QStringLiteral("-D"), dir_,
                 QStringLiteral("-w"), QStringLiteral("-t"), QStringLiteral("30"),
                 QStringLiteral("-l"), dir_ + QStringLiteral("/server.log"), QStringLiteral("-o"),
                 QStringLiteral("-k %1 -p %2 -c listen_addresses= -c fsync=off "
                                "-c max_connections=60 %3")
                     .arg(dir_)
                     .arg(port_)
                     .arg(extraSettings_),
                 QStringLiteral("start")},
                true);
        return started_;
    }
    // "immediate": as a crash; "fast": rolls back what runs and ends cleanly.
    void stop(const QString& mode) {
        if (!started_) return;
        run({binDir() + QStringLiteral("/pg_ctl"), QStringLiteral("-D"), dir_, QStringLiteral("-w"),
             QStringLiteral("-m"), mode, QStringLiteral("stop")},
            true);
        started_ = false;
    }

    // psql as the superuser; returns standard output.
    QString psql(const QString& sql, const QString& user = QStringLiteral("postgres")) {
        QProcess p;
        p.start(binDir() + QStringLiteral("/psql"),
                {QStringLiteral("-X"), QStringLiteral("-A"), QStringLiteral("-t"),
                 QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-d"),
                 connection(user), QStringLiteral("-c"), sql});
        p.waitForFinished(30000);
        log_ = QString::fromUtf8(p.readAllStandardError());
        return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    }

    // Makes `path` the server's own and readable by it only: a key file it reads.
    static bool giveToServer(const QString& path) {
        const QByteArray name = QFile::encodeName(path);
        if (asRoot()) {
            const passwd* pw = getpwnam("postgres");
            if (!pw || ::chown(name.constData(), pw->pw_uid, pw->pw_gid) != 0) return false;
        }
        return ::chmod(name.constData(), 0600) == 0;
    }

private:
    static bool asRoot() { return geteuid() == 0; }

    // As the server's user when we are root.
    bool run(QStringList command, bool asServerUser) {
        if (asServerUser && asRoot())
            command = QStringList{QStringLiteral("runuser"), QStringLiteral("-u"),
                                  QStringLiteral("postgres"), QStringLiteral("--")} +
                      command;
        QProcess p;
        p.setProgram(command.takeFirst());
        p.setArguments(command);
        p.setWorkingDirectory(QStringLiteral("/"));
        p.start();
        const bool done = p.waitForFinished(60000);
        log_ = QString::fromUtf8(p.readAllStandardError() + p.readAllStandardOutput());
        return done && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }

    static QTemporaryDir& base() {
        static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/tavolen-pg-XXXXXX"));
        static const bool opened = [] {
            // The server's user must reach its directories inside.
            ::chmod(dir.path().toLocal8Bit().constData(), 0755);
            return true;
        }();
        (void)opened;
        return dir;
    }

    static QString templateDir() {
        static const QString path = [] {
            const QString t = QDir(base().path()).filePath(QStringLiteral("template"));
            QDir().mkpath(t);
            if (asRoot()) {
                if (const passwd* pw = getpwnam("postgres"))
                    if (::chown(t.toLocal8Bit().constData(), pw->pw_uid, pw->pw_gid) != 0) return t;
            }
            QProcess p;
            QStringList command{binDir() + QStringLiteral("/initdb"),
                                QStringLiteral("-D"),
                                t,
                                QStringLiteral("-A"),
                                QStringLiteral("trust"),
                                QStringLiteral("-U"),
                                QStringLiteral("postgres"),
                                QStringLiteral("-E"),
                                QStringLiteral("UTF8"),
                                QStringLiteral("--locale=C"),
                                QStringLiteral("--no-sync")};
            if (asRoot())
                command = QStringList{QStringLiteral("runuser"), QStringLiteral("-u"),
                                      QStringLiteral("postgres"), QStringLiteral("--")} +
                          command;
            p.setProgram(command.takeFirst());
            p.setArguments(command);
            p.setWorkingDirectory(QStringLiteral("/"));
            p.start();
            p.waitForFinished(120000);
            return t;
        }();
        return path;
    }

    QString extraSettings_;
    int port_;
    QString dir_;
    QString log_;
    bool started_ = false;
};
