#include "central/CentralCommand.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <cstdio>

#include "central/CentralSchema.h"
#include "central/CentralSettings.h"
#include "central/CentralWatch.h"
#include "central/GroupReport.h"
#include "central/PgConnection.h"
#include "settlement/Settlement.h"
#include "store/IniStore.h"

namespace {

const char kUsage[] =
    "usage: tavolen [--data-dir DIR] central init [--connection CONNINFO]\n"
    "       tavolen [--data-dir DIR] central grant SITE ROLE [--connection CONNINFO]\n"
    "       tavolen [--data-dir DIR] central report day YYYY-MM-DD|month YYYY-MM [--hour H]\n"
    "               [--trail] --out FILE [--connection CONNINFO]\n"
    "       tavolen central watch --minutes N --settings FILE [--connection CONNINFO]\n"
    "FILE ends in .xlsx, .pdf or .csv; the watch's FILE holds [Alert] (and [Central])\n";

struct Request {
    QString dataDir;
    QString connection;
    bool connectionGiven = false;
    int hour = -1;
    QString out;
    int minutes = 0;
    bool trail = false;
    QString settings;
    QStringList words;  // after "central"
};

int fail(const QString& message) {
    std::fprintf(stderr, "tavolen central: %s\n", message.toLocal8Bit().constData());
    return 2;
}

QString parse(const QStringList& args, Request& r) {
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        const auto take = [&](const char* option, QString& into) -> int {
            const QString name = QString::fromLatin1(option);
            if (a == name) {
                if (i + 1 >= args.size()) return -1;
                into = args[++i];
                return 1;
            }
            if (a.startsWith(name + u'=')) {
                into = a.mid(name.size() + 1);
                return 1;
            }
            return 0;
        };
        QString text;
        int taken;
        if ((taken = take("--data-dir", r.dataDir)) != 0) {
            if (taken < 0) return QStringLiteral("--data-dir needs a directory");
        } else if ((taken = take("--connection", r.connection)) != 0) {
            if (taken < 0) return QStringLiteral("--connection needs a connection string");
            r.connectionGiven = true;
        } else if ((taken = take("--out", r.out)) != 0) {
            if (taken < 0) return QStringLiteral("--out needs a file name");
        } else if ((taken = take("--settings", r.settings)) != 0) {
            if (taken < 0) return QStringLiteral("--settings needs a file name");
        } else if ((taken = take("--minutes", text)) != 0) {
            bool ok = false;
            r.minutes = text.toInt(&ok);
            if (taken < 0 || !ok || r.minutes < 1 || r.minutes > 7 * 24 * 60)
                return QStringLiteral("bad minutes '%1' (1 to 10080)").arg(text);
        } else if ((taken = take("--hour", text)) != 0) {
            bool ok = false;
            r.hour = text.toInt(&ok);
            if (taken < 0 || !ok || r.hour < 0 || r.hour > 23)
                return QStringLiteral("bad hour '%1' (0 to 23)").arg(text);
        } else if (a == QStringLiteral("--trail")) {
            r.trail = true;
        } else if (a.startsWith(QStringLiteral("--"))) {
            return QStringLiteral("unknown option %1").arg(a);
        } else {
            r.words << a;
        }
    }
    if (r.words.isEmpty() || r.words.takeFirst() != QStringLiteral("central"))
        return QStringLiteral("expected: central init|grant|report|watch");
    if (r.words.isEmpty()) return QStringLiteral("expected: central init|grant|report|watch");
    const QString& what = r.words.first();
    if (what == QStringLiteral("init")) {
        if (r.words.size() != 1) return QStringLiteral("init takes no words");
    } else if (what == QStringLiteral("grant")) {
        if (r.words.size() != 3) return QStringLiteral("expected: central grant SITE ROLE");
    } else if (what == QStringLiteral("report")) {
        if (r.words.size() != 3 ||
            (r.words[1] != QStringLiteral("day") && r.words[1] != QStringLiteral("month")))
            return QStringLiteral("expected: central report day|month PERIOD");
        if (r.out.isEmpty()) return QStringLiteral("--out FILE is missing");
        const QString suffix = QFileInfo(r.out).suffix().toLower();
        if (!QStringList{QStringLiteral("xlsx"), QStringLiteral("pdf"), QStringLiteral("csv")}
                 .contains(suffix))
            return QStringLiteral("unknown file type '%1' (.xlsx, .pdf or .csv)").arg(r.out);
        if (r.trail && r.words[1] != QStringLiteral("month"))
            return QStringLiteral("--trail goes with report month");
    } else if (what == QStringLiteral("watch")) {
        if (r.words.size() != 1) return QStringLiteral("watch takes no words");
        if (r.minutes == 0) return QStringLiteral("--minutes N is missing");
        if (r.settings.isEmpty()) return QStringLiteral("--settings FILE is missing");
    } else {
        return QStringLiteral("unknown central command '%1' (init, grant, report, watch)")
            .arg(what);
    }
    return QString();
}

// The watch reads its own settings file, not a desk's: `[Alert]` for where the alerts go,
// `[Central]` `Connection` unless --connection is given.
int runWatch(const Request& request) {
    if (!QFileInfo::exists(request.settings))
        return fail(QStringLiteral("no settings file %1").arg(request.settings));
    const IniStore ini(request.settings);
    centralWatch::Options options;
    options.silentAfterMs = qint64(request.minutes) * 60 * 1000;
    QStringList problems;
    options.settings = AlertSettings::read(ini, problems);
    for (const QString& p : problems) fail(p);
    if (!options.settings.configured())
        return fail(
            QStringLiteral("[Alert] of %1 sets no usable Smtp or Webhook").arg(request.settings));
    const QFileInfo file(request.settings);
    options.statePath =
        file.absoluteDir().filePath(file.completeBaseName() + QStringLiteral("-state.json"));
    PgConnection pg(request.connectionGiven ? request.connection
                                            : CentralSettings::read(ini).connection);
    const centralWatch::Outcome outcome = centralWatch::run(pg, options);
    for (const QString& p : outcome.problems) fail(p);
    std::printf("%s\n", outcome.summary(options.silentAfterMs).toLocal8Bit().constData());
    return outcome.exitCode();
}

int runRequest(const Request& request) {
    if (request.words.first() == QStringLiteral("watch")) return runWatch(request);
    const QString iniPath =
        QDir(request.dataDir.isEmpty() ? QApplication::applicationDirPath() : request.dataDir)
            .filePath(QStringLiteral("TavolenConfig.ini"));
    const bool haveIni = QFileInfo::exists(iniPath);
    const IniStore ini(iniPath);
    const QString connection = request.connectionGiven || !haveIni
                                   ? request.connection
                                   : CentralSettings::read(ini).connection;
    PgConnection pg(connection);
    const QString& what = request.words.first();
    if (what == QStringLiteral("init")) {
        const int applied = centralSchema::migrate(pg);
        std::printf("central schema at version %d (%d applied)\n", centralSchema::latestVersion(),
                    applied);
        return 0;
    }
    if (what == QStringLiteral("grant")) {
        centralSchema::grantSite(pg, request.words[1], request.words[2]);
        std::printf("role %s sees site %s\n", request.words[2].toLocal8Bit().constData(),
                    request.words[1].toLocal8Bit().constData());
        return 0;
    }
    const int hour = request.hour >= 0 ? request.hour : haveIni ? settlementSettings::hour(ini) : 0;
    const QString& period = request.words[2];
    GroupReport report;
    if (request.words[1] == QStringLiteral("day")) {
        const QDate date = QDate::fromString(period, QStringLiteral("yyyy-MM-dd"));
        if (!date.isValid()) return fail(QStringLiteral("bad date '%1' (YYYY-MM-DD)").arg(period));
        report = groupReport::day(pg, date, hour);
    } else {
        const QDate first =
            QDate::fromString(period + QStringLiteral("-01"), QStringLiteral("yyyy-MM-dd"));
        if (!first.isValid()) return fail(QStringLiteral("bad month '%1' (YYYY-MM)").arg(period));
        report = groupReport::month(pg, first.year(), first.month(), hour);
        if (request.trail) groupReport::addTrail(pg, report, first.year(), first.month());
    }
    groupReport::write(report, request.out);
    std::printf("%s: %zu sites, %zu lines\n", request.out.toLocal8Bit().constData(),
                report.sites.size(), report.rows.size());
    return 0;
}

}  // namespace

bool isCentralCommand(const QStringList& args) {
    for (int i = 0; i < args.size(); ++i) {
        static const QStringList withValue{
            QStringLiteral("--data-dir"), QStringLiteral("--connection"),
            QStringLiteral("--out"),      QStringLiteral("--hour"),
            QStringLiteral("--settings"), QStringLiteral("--minutes")};
        if (withValue.contains(args[i])) {
            ++i;
            continue;
        }
        if (args[i].startsWith(QStringLiteral("--"))) continue;
        return args[i] == QStringLiteral("central");
    }
    return false;
}

int runCentralCommand(const QStringList& args) {
    Request request;
    const QString problem = parse(args, request);
    if (!problem.isEmpty()) {
        std::fputs(kUsage, stderr);
        return fail(problem);
    }
    // No display is needed; the PDF is drawn off screen.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "tavolen";
    static char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    QFont::insertSubstitutions(QStringLiteral("굴림체"), {QStringLiteral("NanumGothicCoding"),
                                                          QStringLiteral("NanumGothic")});
    try {
        return runRequest(request);
    } catch (const std::exception& e) {
        return fail(errorText(e));
    }
}
