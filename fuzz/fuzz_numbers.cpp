// Feeds arbitrary bytes, read as UTF-8 and as UTF-16, to both number readings. Neither may crash
// or misbehave, the leading-number value never fails, and a whole-text result always lies within
// its width and within half a unit of the number the text reads as.
#include <QLocale>
#include <QString>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/numbers.h"
#include "common/steps.h"

namespace {

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

template <typename Int, typename Convert>
void checkWholeText(const QString& text, const QLocale& locale, Convert convert) {
    Int result = 0;
    try {
        result = convert(text, locale);
    } catch (const tamarin::StepFailure&) {
        return;
    }
    // The number it came from reads too, and rounding moved it by half a unit at most.
    const double number = tamarin::wholeTextNumber(text, locale);
    require(std::isfinite(number));
    require(std::fabs(number - double(result)) <= 0.5);
}

void checkText(const QString& text) {
    static const QLocale locales[] = {
        QLocale::c(),
        QLocale(QLocale::English, QLocale::UnitedStates),
        QLocale(QLocale::German, QLocale::Germany),
        QLocale(QLocale::French, QLocale::France),
        QLocale(QLocale::Arabic, QLocale::Egypt),
    };
    require(!std::isnan(tamarin::leadingNumberValue(text)));
    for (const QLocale& locale : locales) {
        checkWholeText<qint16>(text, locale, tamarin::wholeText16);
        checkWholeText<qint32>(text, locale, tamarin::wholeText32);
        // What fits 16 bits fits 32 bits with the same value.
        try {
            const qint16 narrow = tamarin::wholeText16(text, locale);
            require(tamarin::wholeText32(text, locale) == narrow);
        } catch (const tamarin::StepFailure&) {
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    checkText(QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size)));
    // Copied so that the UTF-16 units are aligned whatever the fuzzer's buffer is.
    std::u16string units(size / 2, u'\0');
    std::memcpy(units.data(), data, units.size() * sizeof(char16_t));
    checkText(QString::fromUtf16(units.data(), qsizetype(units.size())));
    return 0;
}
