#pragma once

#include <QLocale>
#include <QString>
#include <QtGlobal>
#include <optional>

// The one place where the tool reads and writes numbers. Every reading of a number from text, and
// every piece of 16-bit arithmetic of the window's logic, goes through these functions.
namespace tamarin {

// Whole-text conversion: the whole text, surrounding blanks allowed, read as a number in the given
// locale (its decimal and group separators; an exponent is allowed), rounded to the nearest whole
// number with halves going to the even neighbour, and required to fit the target width.
// Throws StepFailure for any other text and for a result out of range.
qint16 wholeText16(const QString& text, const QLocale& locale = QLocale::system());
qint32 wholeText32(const QString& text, const QLocale& locale = QLocale::system());
// The same conversions without the throw: an empty result where those throw StepFailure.
std::optional<qint16> tryWholeText16(const QString& text,
                                     const QLocale& locale = QLocale::system());
std::optional<qint32> tryWholeText32(const QString& text,
                                     const QLocale& locale = QLocale::system());

// The number that the whole-text conversion reads, before rounding and range checks: a finite
// double, or StepFailure. The status control's answers in text go through this too, so that a
// text is read the same way wherever it comes from.
double wholeTextNumber(const QString& text, const QLocale& locale = QLocale::system());
std::optional<double> tryWholeTextNumber(const QString& text,
                                         const QLocale& locale = QLocale::system());

// The text without the blanks (spaces and tabs, nothing else) at either end, as the whole-text
// conversion and the reading of Boolean words see it.
QStringView trimBlanks(QStringView text);

// Leading-number value: the value of the longest leading part of the text that reads as a number.
// Blanks, tabs and line feeds are ignored wherever they stand; only the full stop is a decimal
// separator; E or D introduce an exponent; &H and &O introduce hexadecimal and octal digits.
// A text that does not begin with a number has the value 0. Never fails.
double leadingNumberValue(const QString& text);

// Plain decimal text of an integer: no blanks, no leading zeros, no group separators, "-" first
// when negative.
QString decimalText(qint64 value);

// Rounds to the nearest integer, halves to even; throws StepFailure for NaN, infinities and
// results outside the 32-bit range.
qint32 roundToInt32(double value);
std::optional<qint32> tryRoundToInt32(double value);

// Narrowing and checked signed 16-bit arithmetic; an overflow throws StepFailure.
qint16 narrowTo16(qint32 value);
std::optional<qint16> tryNarrowTo16(qint32 value);
qint16 add16(qint16 a, qint16 b);
qint16 sub16(qint16 a, qint16 b);
qint16 mul16(qint16 a, qint16 b);

}  // namespace tamarin
