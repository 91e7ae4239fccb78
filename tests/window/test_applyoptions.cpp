#include <functional>

#include "tests/support/windowharness.h"
#include "window/texts.h"

// Step 1: the check of the inputs, the refresh period in its two readings, the Details flag and
// the six values handed to the preview, then layout and snippet.
namespace tamarin {

namespace {
const char* const kMissing = "All information must be filled in or selected";
const char* const kLimit =
    "The maximum time for refreshes is 65 seconds.  Refresh has been set to 65.";
constexpr int kNotApplied = -1;  // an interval that marks "ConfigureServer was not called"
}  // namespace

using StepOne = ReadyWindow;

TEST_F(StepOne, MissingInformationShowsOneMessageAndChangesNothing) {
    const std::function<void()> cases[] = {
        [this] { txtIP()->setText(""); },
        [this] { txtPort()->setText(""); },
        [this] { cboGame()->setCurrentIndex(-1); },
        [this] { cboPlayers()->setEditText(""); },
        [this] {
            txtIP()->setText("");
            txtPort()->setText("");
            cboGame()->setCurrentIndex(-1);
            cboPlayers()->setEditText("");
        },
    };
    int number = 0;
    for (const auto& makeEmpty : cases) {
        SCOPED_TRACE(++number);
        ready();
        step1();  // an earlier snippet, which must stay
        forget();
        const QString snippet = txtHTML()->snippet();
        const int reads = control->reads;
        makeEmpty();
        txtRefresh()->setText("");
        step1();
        ASSERT_EQ(desktop.messages.size(), 1);
        EXPECT_EQ(desktop.messages[0].text, kMissing);
        EXPECT_EQ(desktop.messages[0].icon, MessageIcon::Error);
        EXPECT_EQ(desktop.messages[0].buttons, MessageButtons::Ok);
        EXPECT_EQ(txtRefresh()->text(), "");
        EXPECT_TRUE(control->calls.isEmpty());
        EXPECT_TRUE(control->puts.isEmpty());
        EXPECT_EQ(control->reads, reads);
        EXPECT_EQ(txtHTML()->snippet(), snippet);
    }
}

TEST_F(StepOne, TheRefreshIsLimitedOnTheNumberHandedOverAndPassedInMilliseconds) {
    struct Case {
        const char* typed;
        const char* shown;
        bool limited;
        int interval;
    };
    const Case cases[] = {
        {"", "0", false, 0},
        {"65", "65", false, 65000},
        {"65.4", "65.4", false, 65000},  // 65 is handed over, so nothing to correct
        {"65.5", "65", true, 65000},     // 66 would be handed over
        {"70", "65", true, 65000},
        {"100abc", "65", true, 65000},  // no whole number: judged on the number it begins with
        {"1,000", "65", true, 65000},   // a thousands separator is not a way past the limit
        {"70000", "65", true, 65000},
        {"-5", "-5", false, -5000},
        {"2.5", "2.5", false, 2000},
        {"3.5", "3.5", false, 4000},
        {" 7 ", " 7 ", false, 7000},
        {"12abc", "12abc", false, kNotApplied},
        {"-40000", "-40000", false, kNotApplied},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        ready();
        txtRefresh()->setText(c.typed);
        step1();
        EXPECT_EQ(txtRefresh()->text(), c.shown);
        QStringList expected;
        if (c.limited) {
            expected << kLimit;
        }
        if (c.interval == kNotApplied) {
            expected << QString::fromLatin1(texts::kNotApplied) + texts::kRefreshNotWhole;
        }
        EXPECT_EQ(messageTexts(), expected);
        if (c.limited && !desktop.messages.isEmpty()) {
            EXPECT_EQ(desktop.messages[0].icon, MessageIcon::None);
            EXPECT_EQ(desktop.messages[0].buttons, MessageButtons::Ok);
        }
        if (c.interval == kNotApplied) {
            EXPECT_TRUE(control->calls.isEmpty());
            continue;
        }
        ASSERT_EQ(control->calls.size(), 1);
        EXPECT_EQ(control->calls[0].args[4], QVariant(qint32(c.interval)));
    }
}

TEST_F(StepOne, SettingsNotAppliedAreReportedAndTheRestOfStepOneStillHappens) {
    struct Case {
        const char* refresh;
        bool refused;
        QString reason;
    };
    const Case cases[] = {
        {"12abc", false, texts::kRefreshNotWhole},
        {"30", true, texts::kControlRefused},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.refresh);
        ready();
        step1();
        forget();
        txtIP()->setText("10.9.9.9");
        txtRefresh()->setText(c.refresh);
        cboPlayers()->setEditText("6");
        chkDetials()->setValue(0);
        if (c.refused) {
            control->failing << dispid::ConfigureServer;
        }
        step1();
        ASSERT_EQ(desktop.messages.size(), 1);
        EXPECT_TRUE(
            desktop.messages[0].text.startsWith(QString::fromLatin1(texts::kNotApplied) + c.reason))
            << desktop.messages[0].text.toStdString();
        EXPECT_EQ(desktop.messages[0].icon, MessageIcon::Error);
        EXPECT_EQ(written(dispid::Details), QVariantList({false}));
        EXPECT_EQ(written(dispid::ExpandedHight), QVariantList({1935}));
        // The snippet is rebuilt, and shows the server the preview still has.
        const QString snippet = txtHTML()->snippet();
        EXPECT_TRUE(snippet.contains("VALUE=\"10.0.0.1\"")) << snippet.toStdString();
        EXPECT_TRUE(snippet.contains("<PARAM NAME=\"Details\" VALUE=\"False\">"));
        EXPECT_TRUE(snippet.contains("ExpandedHight=\"1935\""));
    }
}

TEST_F(StepOne, TheSixValuesReachThePreviewInOrderAndAsTyped) {
    txtIP()->setText("   ");  // blanks count as filled in
    txtPort()->setText("027015");
    store.values.erase({"Vireo", "b", "GameType"});
    step1();
    EXPECT_TRUE(desktop.messages.isEmpty());
    ASSERT_EQ(control->calls.size(), 1);
    EXPECT_EQ(control->calls[0].id, dispid::ConfigureServer);
    const QVariantList& args = control->calls[0].args;
    ASSERT_EQ(args.size(), 6);
    const QVariantList expected = {QString("   "), QString("027015"), QString(),
                                   QString("b"),   qint32(30000),     QString()};
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(args[i].typeId(), expected[i].typeId());
        EXPECT_EQ(args[i], expected[i]);
    }
    EXPECT_EQ(window->gameKeys()[1], "b");

    store.seed("Vireo", "b", "GameType", "hl");
    step1();
    ASSERT_EQ(control->calls.size(), 2);
    EXPECT_EQ(control->calls[1].args[2], QVariant(QString("hl")));
}

TEST_F(StepOne, DetailsIsTrueForACheckedOrGreyedBox) {
    const struct {
        int box;
        bool details;
        const char* shown;
    } cases[] = {{0, false, "False"}, {1, true, "True"}, {2, true, "True"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.box);
        ready();
        chkDetials()->setValue(c.box);
        step1();
        EXPECT_EQ(written(dispid::Details), QVariantList({c.details}));
        const QString snippet = txtHTML()->snippet();
        EXPECT_TRUE(
            snippet.contains(QString("\t<PARAM NAME=\"Details\" VALUE=\"%1\">\r\n").arg(c.shown)));
        EXPECT_TRUE(snippet.contains(QString(" Details=\"%1\" ").arg(c.shown)));
        EXPECT_EQ(chkDetials()->value(), c.box);  // Step 1 reads the box, never changes it
    }
}

}  // namespace tamarin
