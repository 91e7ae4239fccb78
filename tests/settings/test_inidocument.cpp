#include <gtest/gtest.h>

#include "tests/support/printers.h"

#include <QRandomGenerator>
#include <map>
#include <optional>
#include <tuple>

#include "settings/inidocument.h"

namespace tamarin {
namespace {

using namespace Qt::Literals::StringLiterals;

struct HandWritten {
    const char* what;
    QString file;
    QString section;
    QString key;
    std::optional<QString> expected;
};

void PrintTo(const HandWritten& c, std::ostream* out) {
    *out << c.what;
}

class HandWrittenFile : public ::testing::TestWithParam<HandWritten> {};

TEST_P(HandWrittenFile, ReadsAsAPersonMeantIt) {
    const HandWritten& c = GetParam();
    EXPECT_EQ(IniDocument::fromText(c.file).value(c.section, c.key), c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, HandWrittenFile,
    ::testing::Values(
        HandWritten{"a list stays one text", "[Config]\nGameList=a,b,c\n", "Config", "GameList",
                    u"a,b,c"_s},
        HandWritten{"the blank after a comma is kept", "[Config]\nGameList=a, b", "Config",
                    "GameList", u"a, b"_s},
        HandWritten{"blanks around key and value go", "[s]\n  Key  =  two words  \n", "s", "Key",
                    u"two words"_s},
        HandWritten{"an empty value exists", "[s]\nKey=\n", "s", "Key", u""_s},
        HandWritten{"a line without '=' is no value", "[s]\nKey\n", "s", "Key", std::nullopt},
        HandWritten{"leading blank of a section name", "[ b]\nGameName=x\n", " b", "GameName",
                    u"x"_s},
        HandWritten{"' b' is not 'b'", "[ b]\nGameName=x\n", "b", "GameName", std::nullopt},
        HandWritten{"name runs to the last ']'", "[a]b]\nk=v\n", "a]b", "k", u"v"_s},
        HandWritten{"the empty section name", "[]\nk=v\n", "", "k", u"v"_s},
        HandWritten{"keys before any section are nowhere", "k=v\n[s]\n", "", "k", std::nullopt},
        HandWritten{"';' comment", "[s]\n;k=1\n", "s", "k", std::nullopt},
        HandWritten{"'#' comment, indented", "[s]\n   #k=1\nk=2\n", "s", "k", u"2"_s},
        HandWritten{"CR LF line ends", "[s]\r\nk=v\r\nj=w\r\n", "s", "k", u"v"_s},
        HandWritten{"a byte order mark", QChar(0xFEFF) + u"[s]\nk=v"_s, "s", "k", u"v"_s},
        HandWritten{"blank lines", "\n\n[s]\n\n\nk=v\n\n", "s", "k", u"v"_s},
        HandWritten{"the last of two keys wins", "[s]\nk=1\nk=2\n", "s", "k", u"2"_s},
        HandWritten{"a repeated section adds up", "[s]\nk=1\n[t]\n[s]\nj=2\n", "s", "k", u"1"_s},
        HandWritten{"names are case-sensitive", "[S]\nK=v\n", "s", "K", std::nullopt},
        HandWritten{"a broken header ends its section", "[s]\n[broken\nk=v\n", "s", "k",
                    std::nullopt},
        HandWritten{"a lone '%' in a name is itself", "[100%]\nk=v\n", "100%", "k", u"v"_s},
        HandWritten{"quoted, with escapes", "[s]\nk = \" a\\\"b\\\\c\\td \"\n", "s", "k",
                    u" a\"b\\c\td "_s},
        HandWritten{"\\u escapes", "[s]\nk=\"\\u00e9\\u4E2D\"", "s", "k", u"é中"_s},
        HandWritten{"no closing quote: as written", "[s]\nk=\"abc\n", "s", "k", u"\"abc"_s},
        HandWritten{"unknown escape: as written", "[s]\nk=\"C:\\path\"\n", "s", "k",
                    u"\"C:\\path\""_s},
        HandWritten{"text after the quote: as written", "[s]\nk=\"a\" b\n", "s", "k", u"\"a\" b"_s},
        HandWritten{"short \\u: as written", "[s]\nk=\"\\u12\"\n", "s", "k", u"\"\\u12\""_s},
        HandWritten{"quotes inside a value", "[s]\nk=say \"hi\"\n", "s", "k", u"say \"hi\""_s}));

TEST(IniDocumentRewrite, KeepsCommentsOrderAndUntouchedLines) {
    IniDocument document = IniDocument::fromText(
        u"; edited by hand\n[Config]\nServerCount = 1\nGameList=q3,hl\n\n# games\n[q3]\n"
        "GameName=Quake 3\n"_s);
    document.setValue("Config", "GameList", "q3,hl,ut");
    document.setValue("Config", "Added", "1");
    document.setValue("hl", "GameName", "Half-Life");
    EXPECT_EQ(document.toText(),
              u"; edited by hand\n[Config]\nServerCount = 1\nGameList=q3,hl,ut\nAdded=1\n\n"
              "# games\n[q3]\nGameName=Quake 3\n\n[hl]\nGameName=Half-Life\n"_s);
}

TEST(IniDocumentRewrite, ReplacesTheLineThatIsRead) {
    IniDocument document = IniDocument::fromText(u"[s]\nk=1\n[s]\nj=2\nk=3\n"_s);
    document.setValue("s", "k", "new");
    EXPECT_EQ(document.toText(), u"[s]\nk=1\n[s]\nj=2\nk=new\n"_s);
}

TEST(IniDocumentRewrite, WritesOrdinaryNamesAndValuesAsTheyAre) {
    IniDocument document;
    document.setValue(" b, c.d-e", "GameList", "a,b,c");
    document.setValue(" b, c.d-e", "Port", "27960");
    EXPECT_EQ(document.toText(), u"[ b, c.d-e]\nGameList=a,b,c\nPort=27960\n"_s);
}

// ---- Any text, anywhere: random names and values from the characters that break INI files.

QString randomText(QRandomGenerator& random) {
    static const QString pool = u"ab Z09 \"\\[]=;#%,/\t\r\n\0éä中"_s + QChar(0xFEFF) +
                                QChar(0x2028) + QChar(0x00A0) + QChar(0x0085) + QChar(0x7F);
    static const QString emoji = u"😀"_s;
    QString text;
    const int length = random.bounded(0, 10);
    for (int i = 0; i < length; ++i) {
        switch (random.bounded(0, 8)) {
            case 0:
                text += emoji;
                break;
            case 1:
                text += QChar(char16_t(0xD800 + random.bounded(0, 0x800)));  // lone surrogate
                break;
            default:
                text += pool[random.bounded(0, int(pool.size()))];
        }
    }
    return text;
}

TEST(IniDocumentRoundTrip, AnyNamesAndValuesReadBackExactly) {
    QRandomGenerator random(20240611);
    for (int round = 0; round < 300; ++round) {
        std::map<std::pair<QString, QString>, QString> expected;
        IniDocument document;
        for (int i = 0; i < 12; ++i) {
            const QString section = random.bounded(0, 3) == 0 ? u"s"_s : randomText(random);
            const QString key = randomText(random);
            const QString value = randomText(random);
            document.setValue(section, key, value);
            expected[{section, key}] = value;
        }
        const IniDocument reread = IniDocument::fromText(document.toText());
        for (const auto& [address, value] : expected) {
            ASSERT_EQ(reread.value(address.first, address.second), value)
                << "section " << address.first.toStdString() << " key "
                << address.second.toStdString() << "\n"
                << document.toText().toStdString();
        }
    }
}

TEST(IniDocumentRoundTrip, OneValueIsOneLineWhateverItHolds) {
    QRandomGenerator random(7);
    for (int round = 0; round < 500; ++round) {
        IniDocument document;
        document.setValue(randomText(random), randomText(random), randomText(random));
        EXPECT_EQ(document.toText().count(u'\n'), 2);
        EXPECT_FALSE(document.toText().contains(u'\r'));
        EXPECT_FALSE(document.toText().contains(QChar(0)));
    }
}

}  // namespace
}  // namespace tamarin
