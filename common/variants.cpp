#include "variants.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "numbers.h"
#include "steps.h"

namespace tamarin {

namespace {

enum class Kind { Missing, Boolean, Signed, Unsigned, Floating, Text, Other };

Kind kindOf(const QVariant& value) {
    if (!value.isValid() || value.isNull()) {
        return Kind::Missing;
    }
    switch (value.typeId()) {
        case QMetaType::Bool:
            return Kind::Boolean;
        case QMetaType::Int:
        case QMetaType::Long:
        case QMetaType::LongLong:
        case QMetaType::Short:
        case QMetaType::Char:
        case QMetaType::SChar:
            return Kind::Signed;
        case QMetaType::UInt:
        case QMetaType::ULong:
        case QMetaType::ULongLong:
        case QMetaType::UShort:
        case QMetaType::UChar:
            return Kind::Unsigned;
        case QMetaType::Double:
        case QMetaType::Float:
            return Kind::Floating;
        case QMetaType::QString:
            return Kind::Text;
        default:
            return Kind::Other;
    }
}

[[noreturn]] void failType(const QVariant& value, const char* wanted) {
    throw StepFailure(std::string("cannot take a ") +
                      (value.isValid() ? value.typeName() : "missing") + " value as " + wanted);
}

qint32 fitInt32(long long value) {
    if (value < std::numeric_limits<qint32>::min() || value > std::numeric_limits<qint32>::max()) {
        throw StepFailure("integer out of 32-bit range: " + std::to_string(value));
    }
    return qint32(value);
}

qint32 fitInt32(unsigned long long value) {
    if (value > static_cast<unsigned long long>(std::numeric_limits<qint32>::max())) {
        throw StepFailure("integer out of 32-bit range: " + std::to_string(value));
    }
    return qint32(value);
}

bool textToBool(const QString& text) {
    const QStringView word = trimBlanks(text);
    if (word.compare(u"True", Qt::CaseInsensitive) == 0) {
        return true;
    }
    if (word.compare(u"False", Qt::CaseInsensitive) == 0) {
        return false;
    }
    return wholeTextNumber(text, QLocale::system()) != 0.0;
}

// Checked before the cast: narrowing a double beyond the float range is undefined.
float toSingle(double value) {
    if (!std::isfinite(value) || std::fabs(value) > double(std::numeric_limits<float>::max())) {
        throw StepFailure("number out of single-precision range: " + std::to_string(value));
    }
    return float(value);
}

// The shortest text that reads back as the same number, in the C locale whatever the user's.
template <typename Floating>
QString shortestText(Floating value) {
    if (!std::isfinite(value)) {
        throw StepFailure("no text for a non-finite number");
    }
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return QString::fromLatin1(buffer, result.ptr - buffer);
}

}  // namespace

qint32 variantToInt32(const QVariant& value) {
    switch (kindOf(value)) {
        case Kind::Boolean:
            return value.toBool() ? -1 : 0;
        case Kind::Signed:
            return fitInt32(value.toLongLong());
        case Kind::Unsigned:
            return fitInt32(value.toULongLong());
        case Kind::Floating:
            return roundToInt32(value.toDouble());
        case Kind::Text:
            return wholeText32(value.toString(), QLocale::system());
        default:
            failType(value, "a 32-bit integer");
    }
}

bool variantToBool(const QVariant& value) {
    switch (kindOf(value)) {
        case Kind::Boolean:
            return value.toBool();
        case Kind::Signed:
            return value.toLongLong() != 0;
        case Kind::Unsigned:
            return value.toULongLong() != 0;
        case Kind::Floating:
            if (std::isnan(value.toDouble())) {
                failType(value, "a Boolean");
            }
            return value.toDouble() != 0.0;
        case Kind::Text:
            return textToBool(value.toString());
        default:
            failType(value, "a Boolean");
    }
}

float variantToSingle(const QVariant& value) {
    switch (kindOf(value)) {
        case Kind::Boolean:
            return value.toBool() ? -1.0f : 0.0f;
        case Kind::Signed:
            return float(value.toLongLong());
        case Kind::Unsigned:
            return float(value.toULongLong());
        case Kind::Floating:
            return toSingle(value.toDouble());
        case Kind::Text:
            return toSingle(wholeTextNumber(value.toString(), QLocale::system()));
        default:
            failType(value, "a single-precision number");
    }
}

QString variantToText(const QVariant& value) {
    switch (kindOf(value)) {
        case Kind::Boolean:
            return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
        case Kind::Signed:
            return decimalText(value.toLongLong());
        case Kind::Unsigned:
            return QString::number(value.toULongLong());
        case Kind::Floating:
            return value.typeId() == QMetaType::Float ? shortestText(value.value<float>())
                                                      : shortestText(value.toDouble());
        case Kind::Text:
            return value.toString();
        default:
            failType(value, "text");
    }
}

}  // namespace tamarin
