#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>

#include "platform/Cp949.h"
#include "store/IniStore.h"

namespace {

class IniStoreTest : public ::testing::Test {
protected:
    QString path() const { return dir_.filePath(QStringLiteral("TavolenConfig.ini")); }

    void writeRaw(const QByteArray& bytes) {
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    QByteArray readRaw() const {
        QFile file(path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    bool temporaryLeft() const { return QFile::exists(path() + QStringLiteral(".tmp")); }

    QTemporaryDir dir_;
    IniStore store_{path()};
};

TEST_F(IniStoreTest, NamesMatchWithoutRegardToCase) {
    const struct {
        const char *writeSection, *writeKey, *readSection, *readKey;
    } cases[] = {
        {"alram", "r3", "Alram", "r3"},
        {"Motel", "Coname", "Motel", "CoName"},
        {"MONEY", "rs12", "money", "RS12"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.writeSection);
        QFile::remove(path());
        store_.writeString(c.writeSection, c.writeKey, QStringLiteral("1"));
        EXPECT_EQ(store_.readString(c.readSection, c.readKey, QString()), QStringLiteral("1"));
        // A write under the other spelling lands on the same line.
        store_.writeString(c.readSection, c.readKey, QStringLiteral("2"));
        EXPECT_EQ(readRaw(), QByteArray("[") + c.writeSection + "]\r\n" + c.writeKey + "=2\r\n");
    }
}

TEST_F(IniStoreTest, MissingEntriesReadAsTheirDefaults) {
    const struct {
        const char* name;
        std::optional<QByteArray> file;
        const char *section, *key;
    } cases[] = {
        {"no file", std::nullopt, "Name", "LName7"},
        {"no section", QByteArray("[Motel]\r\nComPort=COM1\r\n"), "Name", "LName7"},
        {"no key", QByteArray("[Name]\r\nLName1=101\r\nLName17=117\r\n"), "Name", "LName7"},
        {"key above every section", QByteArray("LName7=107\r\n[Name]\r\n"), "Name", "LName7"},
        {"key in another section", QByteArray("[Panel]\r\nLName7=107\r\n"), "Name", "LName7"},
        {"line without =", QByteArray("[Name]\r\nLName7\r\n"), "Name", "LName7"},
        {"section name inside a value", QByteArray("[Memo]\r\nr1=see [Name]\r\nLName7=107\r\n"),
         "Name", "LName7"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(path());
        if (c.file) writeRaw(*c.file);
        EXPECT_EQ(store_.readString(c.section, c.key, QStringLiteral("7")), QStringLiteral("7"));
        EXPECT_EQ(store_.readInteger(c.section, c.key, 5), 5);
        EXPECT_EQ(QFile::exists(path()), c.file.has_value()) << "a read never creates the file";
    }
}

TEST_F(IniStoreTest, IntegersParseDecimalAndHexadecimalElseTheDefault) {
    const struct {
        const char* value;
        qint32 expected;
    } cases[] = {
        {"42", 42},
        {"  -12  ", -12},
        {"+7", 7},
        {"0x81", 129},
        {"0XfF", 255},
        {"0xFFFFFFFF", -1},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"", 77},
        {"abc", 77},
        {"12abc", 77},
        {"1 2", 77},
        {"0x", 77},
        {"0xG1", 77},
        {"2147483648", 77},
        {"0x100000000", 77},
        {"\xB5\xB7", 77},  // Korean text
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        writeRaw(QByteArray("[RoomKey]\r\nr1=") + c.value + "\r\n");
        EXPECT_EQ(store_.readInteger(QStringLiteral("RoomKey"), QStringLiteral("r1"), 77),
                  c.expected);
    }
}

TEST_F(IniStoreTest, LongValuesAreCutTo2047BytesBetweenCharacters) {
    const QByteArray ga("\xB0\xA1");  // 가
    const struct {
        const char* name;
        QByteArray value;
        QString expected;
    } cases[] = {
        {"ascii", QByteArray(3000, 'a'), QString(2047, u'a')},
        {"exactly 2047", QByteArray(2047, 'a'), QString(2047, u'a')},
        {"korean ending on the limit", QByteArray(2045, 'a') + ga + "b",
         QString(2045, u'a') + u'가'},
        {"korean across the limit", QByteArray(2046, 'a') + ga + "b", QString(2046, u'a')},
        {"korean only", "a" + ga.repeated(1100), u'a' + QString(1023, u'가')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeRaw("[Memo]\r\nr1=" + c.value + "\r\n");
        EXPECT_EQ(store_.readString(QStringLiteral("Memo"), QStringLiteral("r1"), QString()),
                  c.expected);
    }
}

TEST_F(IniStoreTest, KoreanTextIsStoredAsCp949) {
    store_.writeString(QStringLiteral("rStatus"), QStringLiteral("r1"), QStringLiteral("대 실"));
    store_.writeString(QStringLiteral("Motel"), QStringLiteral("Coname"),
                       QStringLiteral("한빛모텔"));
    store_.writeInteger(QStringLiteral("Panel"), QStringLiteral("P3"), -129);

    EXPECT_EQ(readRaw(), QByteArray("[rStatus]\r\nr1=\xB4\xEB \xBD\xC7\r\n"
                                    "[Motel]\r\nConame=\xC7\xD1\xBA\xFB\xB8\xF0\xC5\xDA\r\n"
                                    "[Panel]\r\nP3=-129\r\n"));
    EXPECT_EQ(store_.readString(QStringLiteral("rStatus"), QStringLiteral("r1"), QString()),
              QStringLiteral("대 실"));
    EXPECT_EQ(store_.readString(QStringLiteral("Motel"), QStringLiteral("CoName"), QString()),
              QStringLiteral("한빛모텔"));
    EXPECT_EQ(store_.readInteger(QStringLiteral("Panel"), QStringLiteral("P3"), 0), -129);

    // The code page's Hangul extension, not just the common syllables.
    writeRaw("[Memo]\r\nr1=\x81\x41\\\r\n");
    EXPECT_EQ(store_.readString(QStringLiteral("Memo"), QStringLiteral("r1"), QString()),
              QStringLiteral("갂\\"));
}

TEST_F(IniStoreTest, RewriteChangesOnlyTheWrittenLine) {
    const QByteArray header("; written by hand\n\xFF\xFE\x80 garbage\n\n");
    const struct {
        const char* name;
        QByteArray before;
        const char *section, *key, *value;
        QByteArray after;
    } cases[] = {
        {"existing key", header + "[Name]\nLName1 = 101\nno equals sign\nLName2=102\n", "Name",
         "LName1", "111", header + "[Name]\nLName1 =111\nno equals sign\nLName2=102\n"},
        {"new key after the section's last key",
         header + "[Name]\nLName1=101\n\n; about Money\n[Money]\nrs1=3\n\t[broken\n", "name",
         "LName2", "102",
         header + "[Name]\nLName1=101\nLName2=102\n\n; about Money\n[Money]\nrs1=3\n\t[broken\n"},
        {"new key into a section without keys", "[Name]\nno equals sign\n", "Name", "LName1", "1",
         "[Name]\nLName1=1\nno equals sign\n"},
        {"new key into a last line left open", "[Name]\nLName1=101", "Name", "LName2", "102",
         "[Name]\nLName1=101\nLName2=102\n"},
        {"new section after a last line left open", header + "[Name]\nLName1=101", "Sleep", "r1",
         "1", header + "[Name]\nLName1=101\n[Sleep]\nr1=1\n"},
        {"key in a second section of the same name", "[Name]\nLName1=1\n[NAME]\nLName2=2", "Name",
         "LName2", "22", "[Name]\nLName1=1\n[NAME]\nLName2=22"},
        {"crlf kept", "[Money]\r\nrs1=3\r\n\r\n", "Money", "rd1", "4",
         "[Money]\r\nrs1=3\r\nrd1=4\r\n\r\n"},
        {"crlf for a new file", "", "Money", "rd1", "4", "[Money]\r\nrd1=4\r\n"},
        {"last line ending in a lone carriage return", "[Name]\r\nLName1=101\r", "Name",
         "LName2", "102", "[Name]\r\nLName1=101\r\r\nLName2=102\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeRaw(c.before);
        store_.writeString(c.section, c.key, c.value);
        EXPECT_EQ(readRaw(), c.after);
        EXPECT_EQ(store_.readString(c.section, c.key, QString()), QString::fromLatin1(c.value));
        // The neighbour of the written key reads as before.
        if (QByteArray(c.before).contains("LName1=101")) {
            EXPECT_EQ(store_.readString("Name", "LName1", QString()), QStringLiteral("101"));
        }
    }
}

TEST_F(IniStoreTest, RefusedValuesLeaveTheFileUntouched) {
    enum class Refusal { Encoding, Line };
    const struct {
        const char* name;
        QString section, key, value;
        Refusal refusal;
    } cases[] = {
        {"emoji", "Memo", "r1", QStringLiteral("손님 😀"), Refusal::Encoding},
        {"emoji in a name", QStringLiteral("😀"), "r1", "x", Refusal::Encoding},
        {"newline", "Memo", "r1", "one\ntwo", Refusal::Line},
        {"carriage return", "Memo", "r1", "one\rtwo", Refusal::Line},
        {"= in a key", "Memo", "r=1", "x", Refusal::Line},
        {"] in a section", "Me]mo", "r1", "x", Refusal::Line},
    };
    const QByteArray original("[Memo]\r\nr1=old\r\n");
    writeRaw(original);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto write = [&] { store_.writeString(c.section, c.key, c.value); };
        if (c.refusal == Refusal::Encoding)
            EXPECT_THROW(write(), Cp949Error);
        else
            EXPECT_THROW(write(), IniValueError);
        EXPECT_EQ(readRaw(), original);
        EXPECT_FALSE(temporaryLeft());
    }
}

TEST_F(IniStoreTest, NothingIsCachedBetweenOperations) {
    IniStore other(path());
    store_.writeString(QStringLiteral("Time"), QStringLiteral("r1"),
                       QStringLiteral("201001011200"));
    EXPECT_TRUE(readRaw().contains("r1=201001011200"));
    EXPECT_EQ(other.readString(QStringLiteral("Time"), QStringLiteral("r1"), QString()),
              QStringLiteral("201001011200"));
    writeRaw("[Time]\r\nr1=changed outside\r\n");
    EXPECT_EQ(store_.readString(QStringLiteral("Time"), QStringLiteral("r1"), QString()),
              QStringLiteral("changed outside"));
    // The same file rewritten in place within the same moment, to the same size.
    writeRaw("[Time]\r\nr1=changed inside!\r\n");
    EXPECT_EQ(store_.snapshot().readString(QStringLiteral("Time"), QStringLiteral("r1"), QString()),
              QStringLiteral("changed inside!"));
    EXPECT_EQ(other.readString(QStringLiteral("Time"), QStringLiteral("r1"), QString()),
              QStringLiteral("changed inside!"));
}

TEST_F(IniStoreTest, ReplacingKeepsTheFilesPermissions) {
    writeRaw("[Panel]\r\nP1=0\r\n");
    ASSERT_EQ(::chmod(QFile::encodeName(path()).constData(), 0640), 0);
    store_.writeInteger(QStringLiteral("Panel"), QStringLiteral("P1"), 1);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_F(IniStoreTest, UnwritablePathRaisesTheWriteError) {
    // Root ignores permission bits, so the directory is made a plain file instead.
    {
        QFile notADirectory(dir_.filePath(QStringLiteral("plain")));
        ASSERT_TRUE(notADirectory.open(QIODevice::WriteOnly));
    }
    const QString unwritable = dir_.filePath(QStringLiteral("plain/TavolenConfig.ini"));
    IniStore store(unwritable);
    try {
        store.writeString(QStringLiteral("Motel"), QStringLiteral("Tel"), QStringLiteral("1"));
        ADD_FAILURE() << "no error";
    } catch (const IniWriteError& e) {
        EXPECT_EQ(e.text(), QStringLiteral("Unable to write to ") + unwritable);
    }
    EXPECT_EQ(store.readString(QStringLiteral("Motel"), QStringLiteral("Tel"), QStringLiteral("d")),
              QStringLiteral("d"));
}

// Runs one write in a child process whose files may not grow past a few bytes, so the write
// stops inside the temporary file: with SIGXFSZ ignored it fails like a full disk, otherwise the
// signal kills the process in the middle of the write. Returns the wait status and what the
// child caught.
std::pair<int, QByteArray> writeInLimitedChild(IniStore& store, bool killOnLimit) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return {-1, {}};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipeFds[0]);
        const rlimit noCore{0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        ::signal(SIGXFSZ, killOnLimit ? SIG_DFL : SIG_IGN);
        const rlimit tiny{16, RLIM_INFINITY};
        ::setrlimit(RLIMIT_FSIZE, &tiny);
        try {
            store.writeString(QStringLiteral("Memo"), QStringLiteral("r1"), QString(500, u'n'));
        } catch (const IniWriteError& e) {
            const std::string what = e.what();
            if (::write(pipeFds[1], what.data(), what.size()) < 0) ::_exit(2);
        }
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    QByteArray caught;
    char buffer[256];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;) caught.append(buffer, n);
    ::close(pipeFds[0]);
    int status = -1;
    ::waitpid(pid, &status, 0);
    return {status, caught};
}

TEST_F(IniStoreTest, FailedWriteLeavesTheOldFileWhole) {
    const QByteArray original("[Memo]\r\nr1=old\r\n[Name]\r\nLName1=101\r\n");
    writeRaw(original);
    const auto [status, caught] = writeInLimitedChild(store_, false);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(QString::fromUtf8(caught), QStringLiteral("Unable to write to ") + path());
    EXPECT_EQ(readRaw(), original);
    EXPECT_FALSE(temporaryLeft());
}

TEST_F(IniStoreTest, InterruptedWriteLeavesTheOldFileWhole) {
    const QByteArray original("[Memo]\r\nr1=old\r\n[Name]\r\nLName1=101\r\n");
    writeRaw(original);
    const auto [status, caught] = writeInLimitedChild(store_, true);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << status;
    EXPECT_EQ(readRaw(), original);

    // The next write goes through over the half-written temporary file.
    store_.writeString(QStringLiteral("Memo"), QStringLiteral("r1"), QStringLiteral("new"));
    EXPECT_EQ(readRaw(), QByteArray("[Memo]\r\nr1=new\r\n[Name]\r\nLName1=101\r\n"));
    EXPECT_FALSE(temporaryLeft());
}

}  // namespace
