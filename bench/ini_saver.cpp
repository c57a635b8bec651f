// What one saver costs on a full room-state file, beside the bare cost of replacing a file of
// the same size safely, and what the board's start-up spends reading that file key by key.
//
// Usage: bench_ini_saver [directory]   (default: the program's own directory, on the work disk)

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

#include "platform/Cp949.h"
#include "store/IniStore.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSlots = 72;
constexpr int kWrites = 200;
constexpr int kStartUps = 20;

QString key(const char* prefix, int slot) { return QLatin1String(prefix) + QString::number(slot); }

// Every section and key of the file set for all 72 slots, with Korean values where the desk
// stores Korean text.
QByteArray fullFile() {
    QString text;
    const auto section = [&](const QString& name, const std::function<QString(int)>& line) {
        text += u'[' + name + QStringLiteral("]\r\n");
        for (int slot = 1; slot <= kSlots; ++slot) text += line(slot) + QStringLiteral("\r\n");
    };
    section(QStringLiteral("Name"), [](int n) {
        return key("LName", n) + u'=' + QString::number(100 * (1 + (n - 1) / 6) + n);
    });
    section(QStringLiteral("Panel"), [](int n) { return key("P", n) + QStringLiteral("=1"); });
    section(QStringLiteral("rStatus"),
            [](int n) { return key("r", n) + QStringLiteral("=대 실"); });
    section(QStringLiteral("Sleep"), [](int n) { return key("r", n) + QStringLiteral("=1"); });
    section(QStringLiteral("Time"),
            [](int n) { return key("r", n) + QStringLiteral("=2024061512301280183430"); });
    section(QStringLiteral("TimeEnd"),
            [](int n) { return key("r", n) + QStringLiteral("=11:05"); });
    section(QStringLiteral("Money"), [](int n) {
        return key("rs", n) + QStringLiteral("=50000\r\n") + key("rd", n) +
               QStringLiteral("=30000");
    });
    section(QStringLiteral("alram"),
            [](int n) { return key("r", n) + QStringLiteral("=2024-06-16 07:00"); });
    section(QStringLiteral("Memo"), [](int n) {
        return key("r", n) + QStringLiteral("=창가 쪽 조용한 방, 늦은 체크인 요청");
    });
    section(QStringLiteral("RoomKey"),
            [](int n) { return key("r", n) + u'=' + QString::number(128 + n); });
    section(QStringLiteral("DoorStatus"), [](int n) { return key("r", n) + QStringLiteral("=0"); });
    text += QStringLiteral("[CashTime]\r\nSaveMonth=3\r\nstart=09\r\n");
    text += QStringLiteral(
        "[Motel]\r\nConame=한빛모텔\r\nTopname=김민준\r\nTel=031-123-4567\r\n"
        "ComPort=COM2\r\nRestCnt=0\r\nSleepCnt=0\r\n");
    return Cp949::encode(text);
}

// The floor any safe write has to pay: temporary file, flush, rename, flush of the directory.
void bareReplace(const QString& path, const QByteArray& bytes) {
    const QByteArray target = QFile::encodeName(path);
    const QByteArray temporary = target + ".tmp";
    const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0 || ::write(fd, bytes.constData(), bytes.size()) != bytes.size() ||
        ::fsync(fd) != 0 || ::close(fd) != 0 ||
        ::rename(temporary.constData(), target.constData()) != 0) {
        std::perror("bare replacement");
        std::exit(1);
    }
    const int dirFd = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(),
                             O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ::fsync(dirFd);
    ::close(dirFd);
}

// The start-up's reads in their order, the settings read again on every pass as the board does.
void readLikeStartUp(const IniStore& store) {
    for (int n = 1; n <= kSlots; ++n) {
        const QString r = key("r", n);
        store.readString(QStringLiteral("Name"), key("LName", n), QString::number(n));
        store.readInteger(QStringLiteral("Panel"), key("P", n), 0);
        store.readString(QStringLiteral("rStatus"), r, QString());
        store.readInteger(QStringLiteral("Sleep"), r, 0);
        store.readString(QStringLiteral("Time"), r, QString());
        store.readString(QStringLiteral("TimeEnd"), r, QString());
        store.readInteger(QStringLiteral("CashTime"), QStringLiteral("SaveMonth"), 1);
        store.readInteger(QStringLiteral("Money"), key("rs", n), 0);
        store.readInteger(QStringLiteral("Money"), key("rd", n), 0);
        store.readString(QStringLiteral("Alram"), r, QString());
        store.readString(QStringLiteral("Memo"), r, QString());
        store.readInteger(QStringLiteral("RoomKey"), r, 0);
        store.readInteger(QStringLiteral("DoorStatus"), r, 0);
        store.readString(QStringLiteral("Motel"), QStringLiteral("CoName"), QString());
        store.readInteger(QStringLiteral("Motel"), QStringLiteral("RestCnt"), 0);
        store.readInteger(QStringLiteral("Motel"), QStringLiteral("SleepCnt"), 0);
    }
}

constexpr int kReadsPerStartUp = kSlots * 16;

double millis(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

struct Figures {
    double median;
    double p90;
};

Figures figures(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return {samples[samples.size() / 2], samples[samples.size() * 9 / 10]};
}

}  // namespace

int main(int argc, char** argv) {
    const QString base = argc > 1 ? QString::fromLocal8Bit(argv[1])
                                  : QFileInfo(QString::fromLocal8Bit(argv[0])).absolutePath();
    QTemporaryDir dir(QDir(base).filePath(QStringLiteral("ini_saver-XXXXXX")));
    if (!dir.isValid()) {
        std::fprintf(stderr, "cannot make a directory under %s\n", qPrintable(base));
        return 1;
    }
    const QString iniPath = dir.filePath(QStringLiteral("TavolenConfig.ini"));
    const QString barePath = dir.filePath(QStringLiteral("bare.ini"));
    const QByteArray full = fullFile();
    bareReplace(iniPath, full);
    IniStore store(iniPath);

    // Interleaved, so that both see the same state of the disk.
    std::vector<double> saver, bare;
    for (int i = 0; i < kWrites; ++i) {
        // Each pass over the slots flips every label, so that no write finds its value already set.
        const QString value = (i / kSlots) % 2 ? QStringLiteral("대 실") : QStringLiteral("숙 박");
        auto start = Clock::now();
        store.writeString(QStringLiteral("rStatus"), key("r", 1 + i % kSlots), value);
        saver.push_back(millis(Clock::now() - start));
        start = Clock::now();
        bareReplace(barePath, full);
        bare.push_back(millis(Clock::now() - start));
    }

    std::vector<double> startUps;
    for (int i = 0; i < kStartUps; ++i) {
        const auto start = Clock::now();
        readLikeStartUp(store);
        startUps.push_back(millis(Clock::now() - start));
    }

    const Figures s = figures(saver);
    const Figures b = figures(bare);
    const Figures r = figures(startUps);
    std::printf("full file: %d slots, %lld bytes, in %s\n", kSlots,
                static_cast<long long>(full.size()), qPrintable(dir.path()));
    std::printf("saver write (IniStore::WriteString), %d writes: median %.3f ms, p90 %.3f ms\n",
                kWrites, s.median, s.p90);
    std::printf(
        "baseline bare replacement (temp, fsync, rename, fsync dir): median %.3f ms, "
        "p90 %.3f ms\n",
        b.median, b.p90);
    std::printf("ratio saver/baseline: median %.2f, p90 %.2f (goal <= 1.5)\n", s.median / b.median,
                s.p90 / b.p90);
    std::printf(
        "start-up reads (%d reads in start-up order), %d runs: median %.2f ms, p90 %.2f ms "
        "(budget about 20 ms)\n",
        kReadsPerStartUp, kStartUps, r.median, r.p90);
    return 0;
}
