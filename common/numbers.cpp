#include "numbers.h"

#include <cmath>
#include <limits>
#include <string>

#include "steps.h"

namespace tamarin {

namespace {

// ---- whole-text conversion ------------------------------------------------------------------

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

[[noreturn]] void failNotANumber(QStringView text) {
    // Keep the message short whatever the user typed.
    throw StepFailure("not a number: \"" + text.left(40).toString().toStdString() + "\"");
}

// Halves go to the even neighbour. Done by hand rather than with nearbyint so that the result does
// not depend on the floating-point environment's rounding mode.
double roundHalfEven(double value) {
    const double away = std::round(value);
    if (std::fabs(value - std::trunc(value)) != 0.5) {
        return away;
    }
    return 2.0 * std::round(value / 2.0);
}

template <typename Int>
std::optional<Int> fitIn(double rounded) {
    constexpr double lowest = double(std::numeric_limits<Int>::min());
    constexpr double highest = double(std::numeric_limits<Int>::max());
    // Written so that NaN fails too.
    if (!(rounded >= lowest && rounded <= highest)) {
        return std::nullopt;
    }
    return Int(rounded);
}

template <typename Int>
Int fitOrFail(double rounded) {
    if (const std::optional<Int> fitted = fitIn<Int>(rounded)) {
        return *fitted;
    }
    throw StepFailure("number out of range: " + std::to_string(rounded));
}

template <typename Int>
std::optional<Int> tryWholeText(const QString& text, const QLocale& locale) {
    const std::optional<double> value = tryWholeTextNumber(text, locale);
    return value ? fitIn<Int>(roundHalfEven(*value)) : std::nullopt;
}

// ---- leading-number value -------------------------------------------------------------------

bool isIgnoredInLeadingNumber(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\n';
}

// Walks the text the way the leading-number reading sees it: blanks, tabs and line feeds do not
// exist for it.
class NumberCursor {
  public:
    explicit NumberCursor(QStringView text) : text_(text) {}

    // The next character that counts, or U+0000 at the end (which continues no number anyway).
    QChar peek() {
        while (pos_ < text_.size() && isIgnoredInLeadingNumber(text_[pos_])) {
            ++pos_;
        }
        return pos_ < text_.size() ? text_[pos_] : QChar();
    }
    void advance() { ++pos_; }

  private:
    QStringView text_;
    qsizetype pos_ = 0;
};

// Only ASCII digits count; -1 for anything that is no digit of the base.
int asciiDigit(QChar c, int base) {
    const char16_t u = c.unicode();
    int digit = -1;
    if (u >= u'0' && u <= u'9') {
        digit = u - u'0';
    } else if (u >= u'a' && u <= u'f') {
        digit = u - u'a' + 10;
    } else if (u >= u'A' && u <= u'F') {
        digit = u - u'A' + 10;
    }
    return digit < base ? digit : -1;
}

bool isOneOf(QChar c, char16_t a, char16_t b) {
    return c == a || c == b;
}

// Hexadecimal or octal digits after &H or &O: a plain non-negative value, however many digits.
double radixValue(NumberCursor& cursor, int base) {
    double value = 0.0;
    for (int digit = asciiDigit(cursor.peek(), base); digit >= 0;
         digit = asciiDigit(cursor.peek(), base)) {
        value = value * base + digit;
        cursor.advance();
    }
    return value;
}

int copyDigits(NumberCursor& cursor, QString& out) {
    int count = 0;
    while (asciiDigit(cursor.peek(), 10) >= 0) {
        out.append(cursor.peek());
        cursor.advance();
        ++count;
    }
    return count;
}

// An exponent counts only with at least one digit: "1e" and "2e+" are just 1 and 2.
void copyExponent(NumberCursor& cursor, QString& out) {
    if (!isOneOf(cursor.peek(), u'e', u'E') && !isOneOf(cursor.peek(), u'd', u'D')) {
        return;
    }
    const qsizetype mantissaEnd = out.size();
    cursor.advance();
    out.append(u'e');
    if (isOneOf(cursor.peek(), u'+', u'-')) {
        out.append(cursor.peek());
        cursor.advance();
    }
    if (copyDigits(cursor, out) == 0) {
        out.truncate(mantissaEnd);
    }
}

// Copies the recognised decimal number, blanks dropped, into a plain C-locale text and lets Qt
// read that: Qt rounds correctly, gives an infinity on overflow and 0 on underflow, for any
// number of digits and any exponent.
double decimalValue(NumberCursor& cursor) {
    QString number;
    if (isOneOf(cursor.peek(), u'+', u'-')) {
        number.append(cursor.peek());
        cursor.advance();
    }
    int digits = copyDigits(cursor, number);
    if (cursor.peek() == u'.') {
        cursor.advance();
        number.append(u'.');
        digits += copyDigits(cursor, number);
    }
    if (digits == 0) {
        return 0.0;
    }
    copyExponent(cursor, number);
    bool ok = false;
    const double value = QLocale::c().toDouble(number, &ok);
    return ok || std::isinf(value) ? value : 0.0;
}

double radixOrZero(NumberCursor& cursor) {
    cursor.advance();  // the ampersand
    const QChar prefix = cursor.peek();
    if (isOneOf(prefix, u'h', u'H')) {
        cursor.advance();
        return radixValue(cursor, 16);
    }
    if (isOneOf(prefix, u'o', u'O')) {
        cursor.advance();
        return radixValue(cursor, 8);
    }
    return 0.0;
}

}  // namespace

QStringView trimBlanks(QStringView text) {
    while (!text.isEmpty() && isBlank(text.front())) {
        text = text.sliced(1);
    }
    while (!text.isEmpty() && isBlank(text.back())) {
        text.chop(1);
    }
    return text;
}

std::optional<double> tryWholeTextNumber(const QString& text, const QLocale& locale) {
    const QStringView body = trimBlanks(text);
    // QLocale would also skip line breaks and other spaces around the number; only blanks are
    // allowed there.
    if (body.isEmpty() || body.front().isSpace() || body.back().isSpace()) {
        return std::nullopt;
    }
    bool ok = false;
    const double value = locale.toDouble(body, &ok);
    if (!ok || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

double wholeTextNumber(const QString& text, const QLocale& locale) {
    if (const std::optional<double> value = tryWholeTextNumber(text, locale)) {
        return *value;
    }
    failNotANumber(text);
}

qint16 wholeText16(const QString& text, const QLocale& locale) {
    return fitOrFail<qint16>(roundHalfEven(wholeTextNumber(text, locale)));
}

qint32 wholeText32(const QString& text, const QLocale& locale) {
    return fitOrFail<qint32>(roundHalfEven(wholeTextNumber(text, locale)));
}

std::optional<qint16> tryWholeText16(const QString& text, const QLocale& locale) {
    return tryWholeText<qint16>(text, locale);
}

std::optional<qint32> tryWholeText32(const QString& text, const QLocale& locale) {
    return tryWholeText<qint32>(text, locale);
}

double leadingNumberValue(const QString& text) {
    NumberCursor cursor(text);
    const double value = cursor.peek() == u'&' ? radixOrZero(cursor) : decimalValue(cursor);
    return value + 0.0;  // no negative zero from "-0"
}

QString decimalText(qint64 value) {
    return QString::number(value);
}

qint32 roundToInt32(double value) {
    if (!std::isfinite(value)) {
        throw StepFailure("not a finite number");
    }
    return fitOrFail<qint32>(roundHalfEven(value));
}

std::optional<qint32> tryRoundToInt32(double value) {
    return fitIn<qint32>(roundHalfEven(value));
}

std::optional<qint16> tryNarrowTo16(qint32 value) {
    return fitIn<qint16>(double(value));
}

qint16 narrowTo16(qint32 value) {
    if (const std::optional<qint16> narrowed = tryNarrowTo16(value)) {
        return *narrowed;
    }
    throw StepFailure("16-bit overflow: " + std::to_string(value));
}

// The operands are widened to 32 bits, where none of these can overflow, and the result narrowed.
qint16 add16(qint16 a, qint16 b) {
    return narrowTo16(qint32(a) + qint32(b));
}
qint16 sub16(qint16 a, qint16 b) {
    return narrowTo16(qint32(a) - qint32(b));
}
qint16 mul16(qint16 a, qint16 b) {
    return narrowTo16(qint32(a) * qint32(b));
}

}  // namespace tamarin
