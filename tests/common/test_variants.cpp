#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>

#include <QLocale>

#include "common/steps.h"
#include "common/variants.h"

using namespace tamarin;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

template <typename T>
struct VariantCase {
    QVariant in;
    std::optional<T> expected;  // nullopt: the value cannot be taken
};

template <typename T, typename Convert>
void checkVariantCases(const std::vector<VariantCase<T>>& cases, Convert convert) {
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.in.typeName() << " " << c.in.toString().toStdString());
        if (c.expected) {
            EXPECT_EQ(convert(c.in), *c.expected);
        } else {
            EXPECT_THROW(convert(c.in), StepFailure);
        }
    }
}

}  // namespace

TEST(VariantToInt32, TakesIntegersFractionsBooleansAndNumericText) {
    checkVariantCases<qint32>({{QVariant(5), 5},
                               {QVariant(short(-3)), -3},
                               {QVariant(quint32(7)), 7},
                               {QVariant(qint64(-2147483648LL)), -2147483647 - 1},
                               {QVariant(qint64(2147483648LL)), std::nullopt},
                               {QVariant(quint32(4294967295u)), std::nullopt},
                               {QVariant(qulonglong(2147483647)), 2147483647},
                               {QVariant(2.5), 2},
                               {QVariant(3.5), 4},
                               {QVariant(-2.5), -2},
                               {QVariant(118.5f), 118},
                               {QVariant(1e10), std::nullopt},
                               {QVariant(kNaN), std::nullopt},
                               {QVariant(kInf), std::nullopt},
                               {QVariant(true), -1},
                               {QVariant(false), 0},
                               {QVariant(QString("42")), 42},
                               {QVariant(QString(" 2.5 ")), 2},
                               {QVariant(QString("12abc")), std::nullopt},
                               {QVariant(QString("")), std::nullopt},
                               {QVariant(), std::nullopt},
                               {QVariant(QByteArray("5")), std::nullopt},
                               {QVariant(QStringList{"5"}), std::nullopt}},
                              variantToInt32);
}

TEST(VariantToBool, NonZeroIsTrueAndOnlyTrueOrFalseTextCounts) {
    checkVariantCases<bool>({{QVariant(true), true},
                             {QVariant(false), false},
                             {QVariant(0), false},
                             {QVariant(-1), true},
                             {QVariant(7), true},
                             {QVariant(qulonglong(0)), false},
                             {QVariant(0.0), false},
                             {QVariant(0.1), true},
                             {QVariant(kInf), true},
                             {QVariant(kNaN), std::nullopt},
                             {QVariant(QString("True")), true},
                             {QVariant(QString("tRuE")), true},
                             {QVariant(QString(" FALSE ")), false},
                             {QVariant(QString("0")), false},
                             {QVariant(QString("0.0")), false},
                             {QVariant(QString("2")), true},
                             {QVariant(QString("yes")), std::nullopt},
                             {QVariant(QString("")), std::nullopt},
                             {QVariant(), std::nullopt},
                             {QVariant(QByteArray("1")), std::nullopt}},
                            variantToBool);
}

TEST(VariantToSingle, TakesFiniteNumbersAndNumericText) {
    checkVariantCases<float>({{QVariant(1770.0), 1770.0f},
                              {QVariant(1770), 1770.0f},
                              {QVariant(1.25f), 1.25f},
                              {QVariant(QString("1770")), 1770.0f},
                              {QVariant(QString("1.5")), 1.5f},
                              {QVariant(true), -1.0f},
                              {QVariant(1e300), std::nullopt},
                              {QVariant(-1e300), std::nullopt},
                              {QVariant(kInf), std::nullopt},
                              {QVariant(kNaN), std::nullopt},
                              {QVariant(QString("1e300")), std::nullopt},
                              {QVariant(QString("abc")), std::nullopt},
                              {QVariant(), std::nullopt}},
                             variantToSingle);
}

TEST(VariantToText, WritesEachKindItsOwnWay) {
    checkVariantCases<QString>(
        {{QVariant(QString("hl")), QString("hl")},
         {QVariant(QString()), QString("")},
         {QVariant(QString(" 1.0 ")), QString(" 1.0 ")},
         {QVariant(true), QString("True")},
         {QVariant(false), QString("False")},
         {QVariant(27015), QString("27015")},
         {QVariant(qint64(-5)), QString("-5")},
         {QVariant(std::numeric_limits<qulonglong>::max()), QString("18446744073709551615")},
         {QVariant(1.0), QString("1")},
         {QVariant(0.1), QString("0.1")},
         {QVariant(0.1f), QString("0.1")},
         {QVariant(1e20), QString("1e+20")},
         {QVariant(kNaN), std::nullopt},
         {QVariant(), std::nullopt}},
        variantToText);
}

TEST(VariantToText, IgnoresTheUsersLocaleForNumbers) {
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(variantToText(QVariant(1.5)), "1.5");
    EXPECT_EQ(variantToText(QVariant(1000000)), "1000000");
    QLocale::setDefault(saved);
}
