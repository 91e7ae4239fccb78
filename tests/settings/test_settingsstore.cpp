#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include "tests/support/printers.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <csignal>
#include <functional>

#include "common/steps.h"
#include "settings/inisettingsstore.h"
#include "tests/settings/smallfilesystem.h"

namespace tamarin {
namespace {

using namespace Qt::Literals::StringLiterals;

const QString kTamarin = u"Tamarin"_s;
const QString kVireo = u"Vireo"_s;
const QString kAbsent = u"<absent>"_s;

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

class IniStore : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(root.isValid()); }

    // Each get through a new instance, as the next run of the tool would read it.
    QString fresh(const QString& application, const QString& section, const QString& key) const {
        return IniSettingsStore(folder).get(application, section, key, kAbsent);
    }

    void writeFile(const QString& application, const QByteArray& bytes) const {
        QDir().mkpath(QFileInfo(store.fileFor(application)).path());
        writeBytes(store.fileFor(application), bytes);
    }

    static QByteArray bytesOf(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
    }

    QStringList entries(const QString& application) const {
        return QDir(QFileInfo(store.fileFor(application)).path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    }

    QTemporaryDir root;
    QString folder = root.filePath(u"config"_s);
    IniSettingsStore store{folder};
};

TEST_F(IniStore, FirstRunGivesTheDefaultsAndCreatesNothing) {
    const std::pair<QString, QString> lastServer[] = {{"Game", "-1"},  {"Players", "5"},
                                                      {"IP", ""},      {"Port", ""},
                                                      {"Refresh", ""}, {"Details", "1"}};
    for (const auto& [key, byDefault] : lastServer) {
        EXPECT_EQ(store.get(kTamarin, "LastServer", key, byDefault), byDefault)
            << key.toStdString();
    }
    EXPECT_EQ(store.get(kVireo, "Config", "ServerCount", "-1"), "-1");
    EXPECT_EQ(store.get(kVireo, "Config", "GameList", ""), "");
    EXPECT_FALSE(QFileInfo::exists(folder));
}

TEST_F(IniStore, AStoredEmptyTextIsNotTheDefault) {
    store.save(kTamarin, "LastServer", "Players", "");
    EXPECT_EQ(IniSettingsStore(folder).get(kTamarin, "LastServer", "Players", "5"), "");
    EXPECT_EQ(fresh(kTamarin, "LastServer", "Game"), kAbsent);
    EXPECT_EQ(fresh(kTamarin, "Other", "Players"), kAbsent);
}

const QString kAwkwardTexts[] = {
    u" leading"_s,
    u"trailing "_s,
    u"  both  "_s,
    u" "_s,
    u"a,b,c"_s,
    u"a, b"_s,
    u"\"quoted\""_s,
    u"\""_s,
    u"say \"hi\""_s,
    u";not a comment"_s,
    u"#not a comment"_s,
    u"=value"_s,
    u"a=b"_s,
    u"[not a section]"_s,
    u"]"_s,
    u"C:\\path\\"_s,
    u"\\"_s,
    u"\\n is not a line break"_s,
    u"cr\ronly"_s,
    u"lf\nonly"_s,
    u"crlf\r\nline"_s,
    u"\r\n"_s,
    u"tab\there\t"_s,
    u"é 中 😀"_s,
    u"%41%u0041"_s,
    u"nul\0inside"_s,
    QString(QChar(0xFEFF)) + u"bom first"_s,
    QString(QChar(0xD800)) + u"lone surrogate"_s,
};

TEST_F(IniStore, AnyTextRoundTrips) {
    for (int i = 0; i < int(std::size(kAwkwardTexts)); ++i) {
        store.save(kTamarin, "LastServer", u"Key%1"_s.arg(i), kAwkwardTexts[i]);
    }
    for (int i = 0; i < int(std::size(kAwkwardTexts)); ++i) {
        EXPECT_EQ(fresh(kTamarin, "LastServer", u"Key%1"_s.arg(i)), kAwkwardTexts[i]) << i;
    }
}

TEST_F(IniStore, AVeryLongTextRoundTrips) {
    QString text;
    for (int i = 0; text.size() < 1'000'000; ++i) {
        text += kAwkwardTexts[i % std::size(kAwkwardTexts)];
    }
    store.save(kVireo, "Config", "GameList", text);
    EXPECT_EQ(fresh(kVireo, "Config", "GameList"), text);
}

TEST_F(IniStore, AnyNameRoundTripsAndStaysApart) {
    const QString names[] = {u" b"_s,  u"b"_s,  u"B"_s,    u"b "_s,   u"a,b"_s,  u"a/b"_s,
                             u"a]"_s,  u"[a"_s, u"x=y"_s,  u""_s,     u";x"_s,   u"#x"_s,
                             u"%41"_s, u"A"_s,  u"t\tb"_s, u"l\nf"_s, u"é中😀"_s, u"a.b-c"_s};
    for (const QString& name : names) {
        store.save(kVireo, name, "GameName", u"section "_s + name);
        store.save(kVireo, "Keys", name, u"key "_s + name);
    }
    for (const QString& name : names) {
        EXPECT_EQ(fresh(kVireo, name, "GameName"), u"section "_s + name) << name.toStdString();
        EXPECT_EQ(fresh(kVireo, "Keys", name), u"key "_s + name) << name.toStdString();
    }
}

TEST_F(IniStore, ReadsAHandWrittenFile) {
    writeFile(kVireo,
              "\xEF\xBB\xBF; written by hand\r\n[Config]\r\nServerCount = 1\r\n"
              "GameList=q3, hl\r\n\r\n[ hl]\r\nGameName = Half-Life \xC3\xA9\r\n");
    EXPECT_EQ(store.get(kVireo, "Config", "ServerCount", "-1"), "1");
    EXPECT_EQ(store.get(kVireo, "Config", "GameList", ""), "q3, hl");
    EXPECT_EQ(store.get(kVireo, " hl", "GameName", ""), u"Half-Life é"_s);
    EXPECT_EQ(store.get(kVireo, "hl", "GameName", "none"), "none");
}

TEST_F(IniStore, SavingOneValueKeepsEveryOtherLine) {
    QByteArray original = "; games configured on the options screen\n[Config]\nServerCount=9\n";
    for (int game = 0; game < 10; ++game) {
        original += QByteArray("\n[game") + QByteArray::number(game) + "]\nGameName=Game " +
                    QByteArray::number(game) + "\nDefaultPort=2796" + QByteArray::number(game) +
                    "\nGameType=" + QByteArray::number(game * 7) + "\n";
    }
    writeFile(kVireo, original);
    store.save(kVireo, "game4", "DefaultPort", "1234");
    QByteArray expected = original;
    expected.replace("DefaultPort=27964", "DefaultPort=1234");
    EXPECT_EQ(bytesOf(store.fileFor(kVireo)), expected);
}

TEST_F(IniStore, KeepsWhatAnotherInstanceSavedMeanwhile) {
    IniSettingsStore other(folder);
    store.save(kTamarin, "LastServer", "IP", "10.0.0.1");
    other.save(kTamarin, "LastServer", "Port", "27960");
    store.save(kTamarin, "LastServer", "Refresh", "30");
    EXPECT_EQ(fresh(kTamarin, "LastServer", "IP"), "10.0.0.1");
    EXPECT_EQ(fresh(kTamarin, "LastServer", "Port"), "27960");
    EXPECT_EQ(fresh(kTamarin, "LastServer", "Refresh"), "30");
}

TEST_F(IniStore, SaveAllWritesEveryValue) {
    store.save(kTamarin, "LastServer", "Game", "3");
    store.saveAll(kTamarin,
                  {{"LastServer", "IP", "host"}, {"LastServer", "Port", ""}, {"Other", "IP", "x"}});
    EXPECT_EQ(fresh(kTamarin, "LastServer", "Game"), "3");
    EXPECT_EQ(fresh(kTamarin, "LastServer", "IP"), "host");
    EXPECT_EQ(fresh(kTamarin, "LastServer", "Port"), "");
    EXPECT_EQ(fresh(kTamarin, "Other", "IP"), "x");
}

TEST_F(IniStore, TwoApplicationsNeverShareAFile) {
    store.save(kTamarin, "Config", "GameList", "tamarin");
    store.save(kVireo, "Config", "GameList", "vireo");
    EXPECT_NE(store.fileFor(kTamarin), store.fileFor(kVireo));
    EXPECT_EQ(fresh(kTamarin, "Config", "GameList"), "tamarin");
    EXPECT_EQ(fresh(kVireo, "Config", "GameList"), "vireo");
    EXPECT_EQ(store.fileFor(kVireo), folder + u"/Vireo/Vireo.ini"_s);
}

TEST_F(IniStore, AnApplicationNameCannotLeaveTheFolder) {
    for (const QString& application :
         {u""_s, u"."_s, u".."_s, u"../Escape"_s, u"a/b"_s, u"a\\b"_s, u"nul\0"_s}) {
        EXPECT_TRUE(store.fileFor(application).isEmpty());
        EXPECT_EQ(store.get(application, "s", "k", "default"), "default");
        EXPECT_THROW(store.save(application, "s", "k", "v"), StepFailure);
    }
    EXPECT_EQ(QDir(root.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
}

// Settings kept elsewhere and linked in, as dotfile managers do: the link stays a link.
TEST_F(IniStore, ASaveThroughALinkWritesItsTarget) {
    const QString target = root.filePath("dotfiles/Tamarin.ini");
    QDir().mkpath(QFileInfo(target).path());
    writeBytes(target, "[LastServer]\nIP=old\n");
    QDir().mkpath(QFileInfo(store.fileFor(kTamarin)).path());
    ASSERT_TRUE(QFile::link(target, store.fileFor(kTamarin)));

    store.save(kTamarin, "LastServer", "Port", "27960");

    EXPECT_TRUE(QFileInfo(store.fileFor(kTamarin)).isSymLink());
    EXPECT_EQ(bytesOf(target), "[LastServer]\nIP=old\nPort=27960\n");
}

// ---- Refused saves. The tests may run as root, for whom permissions refuse nothing; these
// places refuse everyone.

TEST_F(IniStore, ASaveWhereNoFolderCanBeMadeFails) {
    store.save(kVireo, "Config", "GameList", "kept");
    const QByteArray vireo = bytesOf(store.fileFor(kVireo));
    QFile blocker(QFileInfo(store.fileFor(kTamarin)).path());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));  // a file where the folder should be
    blocker.close();

    EXPECT_THROW(store.save(kTamarin, "LastServer", "IP", "x"), StepFailure);
    EXPECT_THROW(IniSettingsStore(root.filePath("config/Vireo/Vireo.ini"))
                     .save(kTamarin, "LastServer", "IP", "x"),
                 StepFailure);
    EXPECT_THROW(IniSettingsStore("/proc/self").save(kTamarin, "LastServer", "IP", "x"),
                 StepFailure);
    EXPECT_EQ(bytesOf(store.fileFor(kVireo)), vireo);
    EXPECT_EQ(store.get(kTamarin, "LastServer", "IP", "default"), "default");
}

// A full disk, for root too: the file size limit makes every write past it fail.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &old_);
        rlimit limited = old_;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }

  private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
};

TEST_F(IniStore, ASaveOnAFullDiskFailsAndLeavesTheFileAsItWas) {
    // A short file fits Qt's write buffer whole, and so failed only at the flush on close.
    for (const qsizetype size : {6'000, 100'000}) {
        store.save(kTamarin, "LastServer", "IP", "before");
        const QByteArray before = bytesOf(store.fileFor(kTamarin));
        const QStringList files = entries(kTamarin);
        {
            FileSizeLimit full(4096);
            EXPECT_THROW(store.save(kTamarin, "LastServer", "IP", QString(size, u'x')),
                         StepFailure);
        }
        EXPECT_EQ(bytesOf(store.fileFor(kTamarin)), before) << size;
        EXPECT_EQ(entries(kTamarin), files);
    }
}

TEST_F(IniStore, ARefusedSaveLeavesAnUnreadableFileWhereItWas) {
    writeFile(kVireo, QByteArray("[Config]\0", 9));
    {
        FileSizeLimit full(4);
        EXPECT_THROW(store.save(kVireo, "Config", "k", "longer than four bytes"), StepFailure);
    }
    EXPECT_EQ(bytesOf(store.fileFor(kVireo)), QByteArray("[Config]\0", 9));
    EXPECT_EQ(entries(kVireo), QStringList{"Vireo.ini"});
}

// A real full file system: nothing free, or one page free for a file of three.
TEST_F(IniStore, ASaveOnAFullFileSystemFailsAndLeavesTheFileAsItWas) {
    for (const int freePages : {0, 1}) {
        SmallFileSystem disk;
        if (!disk.mounted()) {
            GTEST_SKIP() << "mounting a small file system needs root";
        }
        IniSettingsStore small(disk.path());
        small.save(kTamarin, "LastServer", "IP", QString(10'000, u'a'));
        const QByteArray before = bytesOf(small.fileFor(kTamarin));
        disk.fillLeaving(freePages);
        EXPECT_THROW(small.save(kTamarin, "LastServer", "IP", QString(10'000, u'b')), StepFailure);
        EXPECT_EQ(bytesOf(small.fileFor(kTamarin)), before) << freePages;
        EXPECT_EQ(QDir(QFileInfo(small.fileFor(kTamarin)).path()).entryList(QDir::Files),
                  QStringList{"Tamarin.ini"});
    }
}

// ---- Files that are not settings files: never a crash, never lost.

struct Corruption {
    const char* what;
    std::function<void(const QString& path)> make;
};

const Corruption kCorruptions[] = {
    {"NUL bytes", [](const QString& p) { writeBytes(p, QByteArray("[Config]\nk=v\0\0", 15)); }},
    {"binary",
     [](const QString& p) { writeBytes(p, QByteArray("\x89PNG\r\n\x1a\n\0\0\0\x0d", 12)); }},
    {"a directory", [](const QString& p) { QDir().mkpath(p); }},
    {"a pipe", [](const QString& p) { ::mkfifo(p.toLocal8Bit().constData(), 0600); }},
    {"far too large", [](const QString& p) { writeBytes(p, QByteArray(17 * 1024 * 1024, 'x')); }},
};

TEST_F(IniStore, AnUnreadableFileReadsAsDefaultsAndIsKeptAsideOnSave) {
    const QString path = store.fileFor(kVireo);
    for (const Corruption& corruption : kCorruptions) {
        SCOPED_TRACE(corruption.what);
        QDir(QFileInfo(path).path()).removeRecursively();
        QDir().mkpath(QFileInfo(path).path());
        corruption.make(path);
        const QByteArray old = QFileInfo(path).isFile() ? bytesOf(path) : QByteArray();

        EXPECT_EQ(store.get(kVireo, "Config", "k", "default"), "default");
        store.save(kVireo, "Config", "k", "new");

        EXPECT_EQ(fresh(kVireo, "Config", "k"), "new");
        const QFileInfo aside(path + ".unreadable");
        ASSERT_TRUE(aside.exists() || aside.isSymLink());
        if (aside.isFile()) {
            EXPECT_EQ(bytesOf(aside.filePath()), old);
        }
    }
}

TEST_F(IniStore, AnEarlierUnreadableFileIsNotOverwritten) {
    const QString path = store.fileFor(kVireo);
    writeFile(kVireo, QByteArray("first\0", 6));
    store.save(kVireo, "Config", "k", "1");
    writeFile(kVireo, QByteArray("second\0", 7));
    store.save(kVireo, "Config", "k", "2");
    EXPECT_EQ(bytesOf(path + ".unreadable"), QByteArray("first\0", 6));
    EXPECT_EQ(bytesOf(path + ".unreadable.2"), QByteArray("second\0", 7));
    EXPECT_EQ(fresh(kVireo, "Config", "k"), "2");
}

// A hand-written file with a stray Latin-1 byte: that line reads as Latin-1, the others as UTF-8,
// and a save keeps every value reading the same.
TEST_F(IniStore, ALineThatIsNotUtf8ReadsAsLatin1AndSurvivesASave) {
    writeFile(kVireo, "[hl]\nGameName=Caf\xE9\nGameType=\xC3\xA9t\xC3\xA9\nCut=\xE4\xB8");
    for (int save = 0; save < 2; ++save) {
        EXPECT_EQ(fresh(kVireo, "hl", "GameName"), u"Caf\u00E9"_s);
        EXPECT_EQ(fresh(kVireo, "hl", "GameType"), u"\u00E9t\u00E9"_s);
        EXPECT_EQ(fresh(kVireo, "hl", "Cut"), u"\u00E4\u00B8"_s);
        store.save(kVireo, "hl", "DefaultPort", "27015");
    }
    EXPECT_FALSE(QFileInfo::exists(store.fileFor(kVireo) + ".unreadable"));
}

// A file changed on disk is read again by the next event (each handler sees one version of it),
// even when rewritten in place at the same size within one tick of the file system's clock.
TEST_F(IniStore, AGetSeesEveryChangeOnDisk) {
    writeFile(kVireo, "[Config]\nServerCount=1\n");
    EXPECT_EQ(store.get(kVireo, "Config", "ServerCount", ""), "1");
    writeFile(kVireo, "[Config]\nServerCount=2\n");
    QCoreApplication::processEvents();
    EXPECT_EQ(store.get(kVireo, "Config", "ServerCount", ""), "2");
    IniSettingsStore(folder).save(kVireo, "Config", "ServerCount", "3");
    EXPECT_EQ(store.get(kVireo, "Config", "ServerCount", ""), "3");
    QFile::remove(store.fileFor(kVireo));
    EXPECT_EQ(store.get(kVireo, "Config", "ServerCount", "gone"), "gone");
}

}  // namespace
}  // namespace tamarin
