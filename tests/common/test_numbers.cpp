#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <limits>
#include <optional>

#include "common/numbers.h"
#include "common/steps.h"

using namespace tamarin;

namespace {

const QLocale kC = QLocale::c();
const QLocale kEnglish(QLocale::English, QLocale::UnitedStates);
const QLocale kGerman(QLocale::German, QLocale::Germany);
const QLocale kFrench(QLocale::French, QLocale::France);

template <typename Int>
struct WholeCase {
    const char16_t* text;
    QLocale locale;
    std::optional<Int> expected;  // nullopt: the conversion fails
};

template <typename Int, typename Convert>
void checkWholeCases(const std::vector<WholeCase<Int>>& cases, Convert convert) {
    for (const auto& c : cases) {
        const QString text = QString::fromUtf16(c.text);
        SCOPED_TRACE(("\"" + text + "\" in " + c.locale.name()).toStdString());
        if (c.expected) {
            EXPECT_EQ(convert(text, c.locale), *c.expected);
        } else {
            EXPECT_THROW(convert(text, c.locale), StepFailure);
        }
        // The non-throwing form answers every case the same way.
        if constexpr (sizeof(Int) == 2) {
            EXPECT_EQ(tryWholeText16(text, c.locale), c.expected);
        } else {
            EXPECT_EQ(tryWholeText32(text, c.locale), c.expected);
        }
    }
}

}  // namespace

TEST(WholeText16, ReadsPlainNumbersWithBlanksAround) {
    checkWholeCases<qint16>({{u"0", kC, 0},
                             {u"07", kC, 7},
                             {u"  42\t", kC, 42},
                             {u"\t-5 ", kC, -5},
                             {u"+5", kC, 5},
                             {u"1e3", kC, 1000},
                             {u"1E3", kEnglish, 1000},
                             {u"2.5e1", kC, 25},
                             {u"-0", kC, 0}},
                            wholeText16);
}

TEST(WholeText16, RoundsHalvesToEvenBeforeTheRangeCheck) {
    checkWholeCases<qint16>({{u"2.5", kC, 2},
                             {u"3.5", kC, 4},
                             {u"-2.5", kC, -2},
                             {u"-3.5", kC, -4},
                             {u"0.5", kC, 0},
                             {u"1.5", kC, 2},
                             {u"65.4", kC, 65},
                             {u"65.5", kC, 66},
                             {u"65.51", kC, 66},
                             {u"32767", kC, 32767},
                             {u"-32768", kC, -32768},
                             {u"32767.4", kC, 32767},
                             {u"32766.5", kC, 32766},
                             {u"-32768.5", kC, -32768},
                             {u"32767.5", kC, std::nullopt},
                             {u"-32768.6", kC, std::nullopt},
                             {u"32768", kC, std::nullopt},
                             {u"-32769", kC, std::nullopt},
                             {u"1e5", kC, std::nullopt}},
                            wholeText16);
}

TEST(WholeText16, FollowsTheLocalesSeparators) {
    checkWholeCases<qint16>({{u"1,000", kEnglish, 1000},
                             {u"1,000", kC, 1000},
                             {u"1.000", kEnglish, 1},
                             {u"1,00", kEnglish, std::nullopt},
                             {u"65,9", kEnglish, std::nullopt},
                             {u"65,9", kGerman, 66},
                             {u"2,5", kGerman, 2},
                             {u"3,5", kGerman, 4},
                             {u"1.000", kGerman, 1000},
                             {u"1.000,5", kGerman, 1000},
                             {u"65.9", kGerman, std::nullopt},
                             {u"1\u202f000", kFrench, 1000},
                             {u"3,5", kFrench, 4}},
                            wholeText16);
}

TEST(WholeText16, RejectsAnythingButOneNumber) {
    const char16_t* texts[] = {u"",     u"   ",   u"\t",    u"12abc",   u"abc", u"1 2 3",
                               u"&H1F", u"&O17",  u"0x1F",  u"nan",     u"NaN", u"inf",
                               u"-inf", u"1e400", u"--5",   u"- 5",     u"5-",  u"1.2.3",
                               u"\n5",  u"5\n",   u"5\r\n", u"\u00a05", u"1e",  u"١٢"};
    for (const char16_t* text : texts) {
        SCOPED_TRACE(QString::fromUtf16(text).toStdString());
        EXPECT_THROW(wholeText16(QString::fromUtf16(text), kEnglish), StepFailure);
        EXPECT_THROW(wholeText32(QString::fromUtf16(text), kGerman), StepFailure);
        EXPECT_FALSE(tryWholeTextNumber(QString::fromUtf16(text), kEnglish));
    }
}

TEST(WholeText32, HasTheWiderRange) {
    checkWholeCases<qint32>({{u"32768", kC, 32768},
                             {u"-32769", kC, -32769},
                             {u"2147483647", kC, 2147483647},
                             {u"-2147483648", kC, -2147483647 - 1},
                             {u"2,147,483,647", kEnglish, 2147483647},
                             {u"2147483647.4", kC, 2147483647},
                             {u"2147483646.5", kC, 2147483646},
                             {u"-2147483648.5", kC, -2147483647 - 1},
                             {u"2147483647.5", kC, std::nullopt},
                             {u"2147483648", kC, std::nullopt},
                             {u"-2147483649", kC, std::nullopt},
                             {u"1e10", kC, std::nullopt},
                             {u"65,9", kGerman, 66}},
                            wholeText32);
}

TEST(LeadingNumberValue, ReadsTheLongestLeadingNumber) {
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        const char16_t* text;
        double expected;
    } cases[] = {
        {u"", 0},
        {u"   ", 0},
        {u"abc", 0},
        {u"12abc", 12},
        {u"100abc", 100},
        {u"07", 7},
        {u"65.5", 65.5},
        {u"65,9", 65},
        {u"1,000", 1},
        {u"1 2 3", 123},
        {u" - 5", -5},
        {u"+5", 5},
        {u"\t1\n2", 12},
        {u"1\r2", 1},
        {u"-", 0},
        {u".", 0},
        {u".5", 0.5},
        {u"-.5", -0.5},
        {u"5.", 5},
        {u"1.2.3", 1.2},
        {u"--5", 0},
        {u"+-5", 0},
        {u"1e3", 1000},
        {u"1E3", 1000},
        {u"1D3", 1000},
        {u"1d-2", 0.01},
        {u"1 e 3", 1000},
        {u"1e", 1},
        {u"2e+", 2},
        {u"2e+ 1", 20},
        {u"1.5e3.5", 1500},
        {u".e3", 0},
        {u"e3", 0},
        {u"&H1F", 31},
        {u"&h1f", 31},
        {u"& H 1 F", 31},
        {u"&O17", 15},
        {u"&o17", 15},
        {u"&O178", 15},
        {u"&O8", 0},
        {u"&H", 0},
        {u"&HFFFF", 65535},
        {u"&H1FG", 31},
        {u"&X1", 0},
        {u"&", 0},
        {u"-&H1F", 0},
        {u"0x1F", 0},
        {u"1e400", inf},
        {u"-1e400", -inf},
        {u"1e-400", 0},
        {u"١٢", 0},
        {u"１２", 0},
        {u"&HFFFFFFFF", 4294967295.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(QString::fromUtf16(c.text).toStdString());
        EXPECT_DOUBLE_EQ(leadingNumberValue(QString::fromUtf16(c.text)), c.expected);
    }
}

TEST(LeadingNumberValue, GivesNoNegativeZero) {
    EXPECT_FALSE(std::signbit(leadingNumberValue("-0")));
    EXPECT_FALSE(std::signbit(leadingNumberValue("-")));
}

TEST(LeadingNumberValue, SurvivesEndlessDigitsAndExponents) {
    EXPECT_EQ(leadingNumberValue(QString(1'000'000, u'9')),
              std::numeric_limits<double>::infinity());
    EXPECT_EQ(leadingNumberValue("&H" + QString(100'000, u'F')),
              std::numeric_limits<double>::infinity());
    EXPECT_EQ(leadingNumberValue("1e99999999999999999999999999"),
              std::numeric_limits<double>::infinity());
    EXPECT_EQ(leadingNumberValue("1e-99999999999999999999999999"), 0.0);
    EXPECT_DOUBLE_EQ(leadingNumberValue("1" + QString(1000, u'0') + "e-1000"), 1.0);
    EXPECT_DOUBLE_EQ(leadingNumberValue("0." + QString(1000, u'0') + "1e1001"), 1.0);
}

TEST(DecimalText, IsPlainWhateverTheLocale) {
    const QLocale saved;
    QLocale::setDefault(kGerman);
    EXPECT_EQ(decimalText(0), "0");
    EXPECT_EQ(decimalText(1000), "1000");
    EXPECT_EQ(decimalText(-32768), "-32768");
    EXPECT_EQ(decimalText(std::numeric_limits<qint64>::min()), "-9223372036854775808");
    QLocale::setDefault(saved);
}

TEST(RoundToInt32, HalvesToEvenWithinRange) {
    EXPECT_EQ(roundToInt32(118.47), 118);
    EXPECT_EQ(roundToInt32(118.5), 118);
    EXPECT_EQ(roundToInt32(119.5), 120);
    EXPECT_EQ(roundToInt32(-0.5), 0);
    EXPECT_EQ(roundToInt32(-1.5), -2);
    EXPECT_EQ(roundToInt32(2147483647.4), 2147483647);
    EXPECT_EQ(roundToInt32(-2147483648.5), -2147483647 - 1);
    for (double bad :
         {2147483647.5, -2147483648.6, 1e300, std::nan(""), std::numeric_limits<double>::infinity(),
          -std::numeric_limits<double>::infinity()}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(roundToInt32(bad), StepFailure);
        EXPECT_FALSE(tryRoundToInt32(bad));
    }
}

TEST(RoundToInt32, DoesNotDependOnTheRoundingMode) {
    const int saved = std::fegetround();
    std::fesetround(FE_UPWARD);
    const qint32 two = roundToInt32(2.5);
    const qint32 minusFour = roundToInt32(-3.5);
    std::fesetround(saved);
    EXPECT_EQ(two, 2);
    EXPECT_EQ(minusFour, -4);
}

TEST(Checked16, FailsExactlyOnOverflow) {
    enum Op { Add, Sub, Mul };
    const struct {
        Op op;
        qint16 a, b;
        std::optional<qint16> expected;
    } cases[] = {
        {Add, 32767, 0, 32767},          {Add, 32767, 1, std::nullopt},
        {Add, -32768, -1, std::nullopt}, {Add, -32768, 32767, -1},
        {Sub, -32768, 1, std::nullopt},  {Sub, 0, -32768, std::nullopt},
        {Sub, -1, 32767, -32768},        {Sub, 32767, -1, std::nullopt},
        {Mul, -32768, 1, -32768},        {Mul, -32768, -1, std::nullopt},
        {Mul, 181, 181, 32761},          {Mul, 182, 181, std::nullopt},
        {Mul, 164 - 5, 195, 31005},      {Mul, -163 - 5, 195, -32760},
        {Mul, -169, 195, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.op << ": " << c.a << ", " << c.b);
        auto run = [&] {
            return c.op == Add ? add16(c.a, c.b) : c.op == Sub ? sub16(c.a, c.b) : mul16(c.a, c.b);
        };
        if (c.expected) {
            EXPECT_EQ(run(), *c.expected);
        } else {
            EXPECT_THROW(run(), StepFailure);
        }
    }
}

TEST(Checked16, NarrowsOnlyWhatFits) {
    EXPECT_EQ(narrowTo16(32767), 32767);
    EXPECT_EQ(narrowTo16(-32768), -32768);
    EXPECT_THROW(narrowTo16(32768), StepFailure);
    EXPECT_THROW(narrowTo16(-32769), StepFailure);
    EXPECT_EQ(tryNarrowTo16(-32768), std::optional<qint16>(-32768));
    EXPECT_FALSE(tryNarrowTo16(32768));
    EXPECT_THROW(narrowTo16(std::numeric_limits<qint32>::min()), StepFailure);
}
