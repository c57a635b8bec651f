#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include "OwnDisplay.h"
#include "store/IniStore.h"

namespace {

struct Finished {
    int exitCode = -1;
    QString out;
};

Finished run(const QString& program, const QStringList& arguments, int ms = 300000,
             const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, arguments);
    if (!p.waitForFinished(ms)) {
        p.kill();
        p.waitForFinished();
        return {-1, QStringLiteral("timed out: ") + program};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAll())};
}

// The Debian package made from this build tree: its files, its control data,
// and the program started from a scratch root it was unpacked into.
class DebianPackage : public ::testing::Test {
protected:
    static inline QTemporaryDir out;
    static inline QString deb;

    static void SetUpTestSuite() {
        const Finished cpack =
            run(QStringLiteral("cpack"),
                {QStringLiteral("--config"), QStringLiteral(TAVOLEN_BUILD_DIR "/CPackConfig.cmake"),
                 QStringLiteral("-B"), out.path()});
        const QStringList debs = QDir(out.path()).entryList({QStringLiteral("*.deb")});
        if (cpack.exitCode == 0 && debs.size() == 1)
            deb = QDir(out.path()).filePath(debs.first());
        else
            std::fprintf(stderr, "cpack failed:\n%s\n", qPrintable(cpack.out));
    }
};

TEST_F(DebianPackage, HoldsTheProgramItsFilesAndTheKioskSession) {
    ASSERT_FALSE(deb.isEmpty());
    const Finished list = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-c"), deb});
    ASSERT_EQ(list.exitCode, 0) << list.out.toStdString();
    for (const char* path :
         {"./usr/lib/tavolen/tavolen", "./usr/bin/tavolen -> ../lib/tavolen/tavolen",
          "./usr/lib/tavolen/imp.bmp", "./usr/lib/tavolen/lockS.bmp", "./usr/lib/tavolen/bell.wav",
          "./usr/lib/tavolen/Bell2.Wav", "./usr/share/applications/tavolen.desktop",
          "./lib/systemd/system/tavolen-kiosk.service", "./etc/pam.d/tavolen-kiosk",
          "./usr/share/man/man1/tavolen.1.gz", "./usr/share/doc/tavolen/copyright",
          "./usr/share/doc/tavolen/changelog.gz", "./usr/lib/sysctl.d/90-tavolen-kiosk.conf",
          "./usr/lib/systemd/logind.conf.d/tavolen-kiosk.conf"})
        EXPECT_TRUE(list.out.contains(QString::fromLatin1(path))) << path;
    // The unit is shipped, not enabled: no link in a .wants directory.
    EXPECT_FALSE(list.out.contains(QStringLiteral(".wants/")));

    const Finished depends =
        run(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), deb, QStringLiteral("Depends")});
    for (const char* dependency :
         {"cage", "xwayland", "qt6-qpa-plugins", "fonts-nanum", "libqt6widgets6", "libsqlite3-0",
          "libsodium23", "libpq5", "libxlsxwriter4"})
        EXPECT_TRUE(depends.out.contains(QString::fromLatin1(dependency))) << dependency;
}

// Debian's own checker: no error and no warning (the overrides shipped in the
// package carry their reasons).
TEST_F(DebianPackage, PassesLintian) {
    ASSERT_FALSE(deb.isEmpty());
    const Finished lintian = run(QStringLiteral("lintian"),
                                 {QStringLiteral("--fail-on"), QStringLiteral("error,warning"),
                                  QStringLiteral("--tag-display-limit"), QStringLiteral("0"), deb});
    EXPECT_EQ(lintian.exitCode, 0) << lintian.out.toStdString();
    for (const QString& line : lintian.out.split(QLatin1Char('\n')))
        EXPECT_FALSE(line.startsWith(QLatin1String("E: ")) || line.startsWith(QLatin1String("W: ")))
            << line.toStdString();
}

// The kiosk's unit as systemd reads it, and the drop-ins as a supplier undoes
// them: a link to /dev/null of the same name in /etc.
TEST_F(DebianPackage, KioskUnitAndDropInsAsSystemdReadsThem) {
    ASSERT_FALSE(deb.isEmpty());
    QTemporaryDir root;
    ASSERT_EQ(run(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), deb, root.path()}).exitCode,
              0);
    const QString unitPath =
        root.filePath(QStringLiteral("lib/systemd/system/tavolen-kiosk.service"));
    const Finished verify = run(QStringLiteral("systemd-analyze"),
                                {QStringLiteral("verify"), QStringLiteral("--man=no"), unitPath});
    EXPECT_EQ(verify.exitCode, 0) << verify.out.toStdString();
    EXPECT_TRUE(verify.out.trimmed().isEmpty()) << verify.out.toStdString();

    QFile unitFile(unitPath);
    ASSERT_TRUE(unitFile.open(QIODevice::ReadOnly));
    const QString unit = QString::fromUtf8(unitFile.readAll());
    // The lockdown comes from the unit; the data directory the board is
    // given is the one the read-only system leaves writable.
    EXPECT_TRUE(unit.contains(QStringLiteral("TAVOLEN_LOCKDOWN=kiosk")));
    EXPECT_TRUE(unit.contains(QStringLiteral("--data-dir /var/lib/tavolen\n")));
    for (const char* line :
         {"NoNewPrivileges=yes", "ProtectSystem=strict", "ReadWritePaths=/var/lib/tavolen\n",
          "ProtectHome=yes", "PrivateTmp=yes", "RuntimeDirectory=tavolen-kiosk\n",
          "XDG_RUNTIME_DIR=/run/tavolen-kiosk "})
        EXPECT_TRUE(unit.contains(QString::fromLatin1(line))) << line;

    struct DropIn {
        const char* configuration;  // as systemd-analyze cat-config names it
        const char* file;
        const char* etcDir;
        const char* setting;
    };
    const DropIn dropIns[] = {
        {"sysctl.d", "90-tavolen-kiosk.conf", "etc/sysctl.d", "kernel.sysrq = 0"},
        {"systemd/logind.conf", "tavolen-kiosk.conf", "etc/systemd/logind.conf.d", "NAutoVTs=0"},
        {"systemd/logind.conf", "tavolen-kiosk.conf", "etc/systemd/logind.conf.d", "ReserveVT=0"},
    };
    for (const DropIn& d : dropIns) {
        const QStringList arguments{QStringLiteral("cat-config"),
                                    QStringLiteral("--root=") + root.path(),
                                    QString::fromLatin1(d.configuration)};
        const QString setting = QStringLiteral("\n") + QString::fromLatin1(d.setting);
        const Finished before = run(QStringLiteral("systemd-analyze"), arguments);
        EXPECT_TRUE(before.out.contains(setting)) << d.setting << "\n" << before.out.toStdString();
        const QString etc = root.filePath(QString::fromLatin1(d.etcDir));
        QDir().mkpath(etc);
        QFile::link(QStringLiteral("/dev/null"), QDir(etc).filePath(QString::fromLatin1(d.file)));
        const Finished after = run(QStringLiteral("systemd-analyze"), arguments);
        EXPECT_FALSE(after.out.contains(setting)) << d.setting << "\n" << after.out.toStdString();
        QFile::remove(QDir(etc).filePath(QString::fromLatin1(d.file)));
    }
}

TEST_F(DebianPackage, TheUnpackedProgramStartsFromItsOwnRoot) {
    ASSERT_FALSE(deb.isEmpty());
    QTemporaryDir root;
    const Finished unpack =
        run(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), deb, root.path()});
    ASSERT_EQ(unpack.exitCode, 0) << unpack.out.toStdString();

    OwnDisplay display;
    const QString failure = display.start();
    ASSERT_TRUE(failure.isEmpty()) << failure.toStdString();
    QTemporaryDir data;
    // A controller line that opens, so the start-up has nothing to complain about.
    int master = -1, slave = -1;
    char line[128] = {};
    ASSERT_EQ(openpty(&master, &slave, line, nullptr, nullptr), 0);
    QDir().mkpath(data.filePath(QStringLiteral("desk")));
    IniStore(data.filePath(QStringLiteral("desk/TavolenConfig.ini")))
        .writeString(QStringLiteral("Motel"), QStringLiteral("ComPort"), QString::fromLatin1(line));
    QProcessEnvironment env = display.environment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), data.filePath(QStringLiteral("config")));
    const Finished board = run(root.filePath(QStringLiteral("usr/bin/tavolen")),
                               {QStringLiteral("--data-dir"), data.filePath(QStringLiteral("desk")),
                                QStringLiteral("--quit-after-first-frame")},
                               60000, env);
    close(master);
    close(slave);
    EXPECT_EQ(board.exitCode, 0) << board.out.toStdString();
    EXPECT_TRUE(QFileInfo::exists(data.filePath(QStringLiteral("desk/DB/motel.db"))));
    // The pictures came from the unpacked program's directory: no error box.
    EXPECT_FALSE(board.out.contains(QStringLiteral("그림 파일"))) << board.out.toStdString();
}

}  // namespace
