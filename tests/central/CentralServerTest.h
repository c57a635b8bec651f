#pragma once

// A throwaway PostgreSQL of the test's own, with the central schema, and what the tests ask it.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <functional>
#include <memory>

#include "central/CentralSchema.h"
#include "central/PgConnection.h"
#include "support/PgServer.h"

// Waits for `done`, letting queued signals through; at most `ms`.
inline bool waitFor(const std::function<bool()>& done, int ms = 20000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms) return false;
        QCoreApplication::processEvents();
        QThread::msleep(20);
    }
    QCoreApplication::processEvents();
    return true;
}

class CentralServerTest : public ::testing::Test {
protected:
    std::unique_ptr<PgServer> pg;

    void SetUp() override {
        if (!PgServer::available()) GTEST_SKIP() << "PostgreSQL 15 is not installed";
        pg = std::make_unique<PgServer>();
        ASSERT_TRUE(pg->isUp()) << pg->log().toStdString();
        PgConnection c(pg->connection());
        EXPECT_EQ(centralSchema::migrate(c), centralSchema::latestVersion());
        EXPECT_EQ(centralSchema::migrate(c), 0);  // a second init finds nothing to do
    }
    // The last change the site's desk sent; -1 when the server cannot say.
    qint64 centralLast(const QString& site) {
        const QString v = pg->psql(
            QStringLiteral("select last_seq from tavolen.site where site = '%1'").arg(site));
        return v.isEmpty() ? -1 : v.toLongLong();
    }
    // No change twice, none missing: the site's changes are 1 to `last`.
    void expectNoDuplicateNoGap(const QString& site, qint64 last) {
        EXPECT_EQ(pg->psql(QStringLiteral("select count(*), min(seq), max(seq) from tavolen.change "
                                          "where site = '%1'")
                               .arg(site)),
                  QStringLiteral("%1|1|%1").arg(last));
    }
};
