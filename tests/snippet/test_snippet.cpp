#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include <QStringList>

#include "snippet/snippet.h"
#include "tests/support/workedexample.h"

using namespace tamarin;

namespace {

SnippetValues workedExample() {
    return example::values();
}

// The fifteen lines without their CR LF; fails the test unless every line ends in CR LF and no
// other line break stands anywhere.
QStringList linesOf(const QString& text) {
    EXPECT_TRUE(text.endsWith("\r\n"));
    QStringList lines = text.split("\r\n");
    EXPECT_EQ(lines.takeLast(), "");
    for (const QString& line : lines) {
        EXPECT_FALSE(line.contains(u'\r') || line.contains(u'\n')) << line.toStdString();
    }
    return lines;
}

qsizetype hostsLength() {
    return qsizetype(std::strlen(kCodeBaseHost) + std::strlen(kDownloadHost));
}

}  // namespace

TEST(SnippetText, WritesTheWorkedExampleByteForByte) {
    const QString expected = example::text();

    const QString text = snippetText(workedExample());

    EXPECT_EQ(text.toStdString(), expected.toStdString());
    EXPECT_EQ(text.size(), 743 + hostsLength());
    EXPECT_EQ(linesOf(text).size(), 15);
}

TEST(SnippetText, WritesDetailsFalseInBothElements) {
    SnippetValues values = workedExample();
    values.details = false;
    const QStringList lines = linesOf(snippetText(values));
    ASSERT_EQ(lines.size(), 15);
    EXPECT_EQ(lines[6], "\t<PARAM NAME=\"Details\" VALUE=\"False\">");
    EXPECT_TRUE(lines[12].contains(" Details=\"False\" ")) << lines[12].toStdString();
    EXPECT_FALSE(lines[12].contains("True"));
}

TEST(SnippetText, LeavesAnEmptyHostNameEmpty) {
    SnippetValues values = workedExample();
    values.hostName.clear();
    const QString text = snippetText(values);
    const QStringList lines = linesOf(text);
    ASSERT_EQ(lines.size(), 15);
    EXPECT_EQ(lines[2], "\t<PARAM NAME=\"HostName\" VALUE=\"\">");
    EXPECT_TRUE(lines[12].contains("\" HostName=\"\" HostPort=\"")) << lines[12].toStdString();
    EXPECT_EQ(text.size(), 743 - 2 * 8 + hostsLength());
}

TEST(SnippetText, WritesNumbersAsPlainDecimals) {
    SnippetValues values = workedExample();
    values.pixelHeight = -7;
    values.hostPort = 0;
    values.refreshInterval = std::numeric_limits<qint32>::min();
    values.expandedHight = std::numeric_limits<qint32>::max();
    const QStringList lines = linesOf(snippetText(values));
    ASSERT_EQ(lines.size(), 15);
    EXPECT_TRUE(lines[0].contains("\"HEIGHT: -7px; WIDTH: 514px\">"));
    EXPECT_EQ(lines[3], "\t<PARAM NAME=\"HostPort\" VALUE=\"0\">");
    EXPECT_EQ(lines[5], "\t<PARAM NAME=\"RefreshInterval\" VALUE=\"-2147483648\">");
    EXPECT_EQ(lines[7], "\t<PARAM NAME=\"ExpandedHight\" VALUE=\"2147483647\">");
    EXPECT_EQ(lines[8], "<EMBED style=\"HEIGHT: -7px; WIDTH: 514px\"");
}

// A value with HTML's reserved characters must not end its attribute or open a tag in the page.
TEST(SnippetText, EscapesReservedCharactersInEveryTextValue) {
    SnippetValues values = workedExample();
    values.hostName = "a\"b&c<d>e";
    values.gameType = "<hl>";
    values.version = "1.0 \"beta\" & co";
    const QString text = snippetText(values);
    const QStringList lines = linesOf(text);
    ASSERT_EQ(lines.size(), 15);

    EXPECT_EQ(lines[1], "\t<PARAM NAME=\"GameType\" VALUE=\"&lt;hl&gt;\">");
    EXPECT_EQ(lines[2], "\t<PARAM NAME=\"HostName\" VALUE=\"a&quot;b&amp;c&lt;d&gt;e\">");
    EXPECT_EQ(lines[4], "\t<PARAM NAME=\"Version\" VALUE=\"1.0 &quot;beta&quot; &amp; co\">");
    EXPECT_EQ(lines[12],
              "\tGameType=\"&lt;hl&gt;\" HostName=\"a&quot;b&amp;c&lt;d&gt;e\" HostPort=\"27015\" "
              "RefreshInterval=\"30000\" Details=\"True\" ExpandedHight=\"1740\" "
              "Version=\"1.0 &quot;beta&quot; &amp; co\"></embed>");
    // Nothing else of the text moved.
    const QString plain = snippetText(workedExample());
    EXPECT_EQ(lines[0] + lines[13] + lines[14],
              linesOf(plain)[0] + linesOf(plain)[13] + linesOf(plain)[14]);
}

TEST(SnippetText, KeepsOtherTextExactlyAsItIs) {
    SnippetValues values = workedExample();
    values.hostName = " Zürich-ß.example ";
    values.gameType = "a'b;#=\\";
    const QStringList lines = linesOf(snippetText(values));
    ASSERT_EQ(lines.size(), 15);
    EXPECT_EQ(lines[1], "\t<PARAM NAME=\"GameType\" VALUE=\"a'b;#=\\\">");
    EXPECT_EQ(lines[2],
              QString::fromUtf8("\t<PARAM NAME=\"HostName\" VALUE=\" Zürich-ß.example \">"));
}
