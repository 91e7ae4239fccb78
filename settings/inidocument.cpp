// The settings file format. It is meant to be read and edited by hand, and to give back exactly
// the texts that were saved, whatever they hold.
//
//   ; a comment            # also a comment (only as the first thing on a line)
//   [section]              the name is everything between the first '[' and the last ']' of
//                          the line, blanks included: "[ b]" is the section " b", "[]" the
//                          section with the empty name
//   key=value              the key is the text before the first '=', blanks around it dropped
//   key="quoted value"
//
// Lines end in LF or CR LF; a file is rewritten with LF. Names are compared case-sensitively.
// When a section or a key appears more than once, the last line that gives the key wins. Lines
// before the first section, and after a '[' line without a ']', belong to no section and are
// never read (but are kept).
//
// Values. A value that does not start with a double quote is the rest of the line with its
// surrounding blanks dropped, taken as it is: "GameList=a, b,c" is the text "a, b,c". A value
// that starts with a double quote runs to the closing quote, with these escapes:
//   \"  \\  \n (LF)  \r (CR)  \t (tab)  \uHHHH (one UTF-16 code unit, four hex digits)
// A quoted value that is not well formed (no closing quote, an unknown escape, text after the
// closing quote) is taken as written, quotes and all, as an unquoted value would be.
// The writer leaves a value unquoted only when that reads back unchanged and the line stays
// plain: not empty, no blank, quote or backslash at either end, only printable characters.
// Everything else is quoted; inside quotes, characters that are not printable (controls, format
// characters, line separators, lone surrogates) are written as \uHHHH, the rest as they are.
//
// Names (sections and keys) are written as they are, except for characters that would change
// how the line reads or are not printable; those are percent-escaped by UTF-16 code unit:
// %HH stands for the character U+00HH (not for a byte of UTF-8), %uHHHH for the code unit HHHH.
// '%' itself is written %25. In keys, '=' is escaped, and so are a blank at either end and a
// '[', ';' or '#' at the start. A '%' that does not start such an escape is read as itself.
#include "settings/inidocument.h"

#include <QStringDecoder>
#include <algorithm>
#include <utility>

namespace tamarin {

namespace {

constexpr QChar kQuote = u'"';
constexpr QChar kBackslash = u'\\';
// The characters a quoted value writes as a backslash and a letter, and those letters.
constexpr std::pair<char16_t, char16_t> kEscapes[] = {
    {u'"', u'"'}, {u'\\', u'\\'}, {u'\n', u'n'}, {u'\r', u'r'}, {u'\t', u't'}};
constexpr QChar kPercent = u'%';

// A character that can stand in a line as itself: printable, and the plain space is the only
// blank (tabs, no-break and other spaces would vanish in trimming or confuse an editor).
bool isPlain(char32_t codePoint) {
    return QChar::isPrint(codePoint) && (codePoint == u' ' || !QChar::isSpace(codePoint));
}

// The code point at `at` and how many code units it takes; a lone surrogate is a code point of
// its own, so nothing is lost on the way.
std::pair<char32_t, qsizetype> codePointAt(QStringView text, qsizetype at) {
    const bool pair =
        text[at].isHighSurrogate() && at + 1 < text.size() && text[at + 1].isLowSurrogate();
    return pair ? std::pair(QChar::surrogateToUcs4(text[at], text[at + 1]), qsizetype(2))
                : std::pair(char32_t(text[at].unicode()), qsizetype(1));
}

// Calls visit(codePoint, firstUnit, unitCount) for each code point.
template <typename Visit>
void forEachCodePoint(QStringView text, Visit visit) {
    for (qsizetype i = 0; i < text.size();) {
        const auto [codePoint, units] = codePointAt(text, i);
        visit(codePoint, i, units);
        i += units;
    }
}

// The common case, checked one code unit at a time without decoding pairs: printable ASCII and
// plain characters of the basic plane. A value of some hundred kilobytes is mostly such runs.
bool isPlainUnit(QChar unit) {
    const char16_t u = unit.unicode();
    return (u >= 0x20 && u < 0x7F) || (u >= 0xA0 && !unit.isSurrogate() && isPlain(u));
}

bool allPlain(QStringView text) {
    for (qsizetype i = 0; i < text.size();) {
        const auto [codePoint, units] = codePointAt(text, i);
        if (!isPlain(codePoint)) {
            return false;
        }
        i += units;
    }
    return true;
}

QString hex(uint value, int digits) {
    return QStringLiteral("%1").arg(value, digits, 16, QChar(u'0')).toUpper();
}

std::optional<char16_t> parseHex(QStringView digits) {
    bool ok = false;
    const uint value = digits.toUInt(&ok, 16);
    const bool allHex = std::all_of(digits.begin(), digits.end(), [](QChar c) {
        return c.isDigit() || (c.toLower() >= u'a' && c.toLower() <= u'f');
    });
    if (!ok || !allHex) {
        return std::nullopt;
    }
    return char16_t(value);
}

// ---- values

qsizetype indexOfQuoteOrBackslash(QStringView text, qsizetype from) {
    const auto* found = std::find_if(text.begin() + from, text.end(),
                                     [](QChar c) { return c == kQuote || c == kBackslash; });
    return found - text.begin();
}

bool canWriteUnquoted(const QString& text) {
    if (text.isEmpty()) {
        return false;
    }
    const auto endsBadly = [](QChar c) { return c == u' ' || c == kQuote || c == kBackslash; };
    return !endsBadly(text.front()) && !endsBadly(text.back()) && allPlain(text);
}

// Escapes are rare; everything else is copied as it is.
void appendQuotable(QString& out, char32_t codePoint, QStringView units) {
    for (const auto& [character, letter] : kEscapes) {
        if (codePoint == character) {
            out += kBackslash;
            out += QChar(letter);
            return;
        }
    }
    if (isPlain(codePoint)) {
        out += units;
        return;
    }
    for (QChar unit : units) {
        out += QStringView(u"\\u");
        out += hex(unit.unicode(), 4);
    }
}

QString formatValue(const QString& text) {
    if (canWriteUnquoted(text)) {
        return text;
    }
    QString quoted;
    quoted.reserve(text.size() + text.size() / 8 + 2);
    quoted += kQuote;
    const auto needsCare = [](QChar c) {
        return c == kQuote || c == kBackslash || !isPlainUnit(c);
    };
    const QStringView view(text);
    for (qsizetype i = 0; i < view.size();) {
        const qsizetype special =
            std::find_if(view.begin() + i, view.end(), needsCare) - view.begin();
        quoted += view.mid(i, special - i);
        if (special == view.size()) {
            break;
        }
        const auto [codePoint, units] = codePointAt(view, special);
        appendQuotable(quoted, codePoint, view.mid(special, units));
        i = special + units;
    }
    return quoted + kQuote;
}

// Reads one escape starting after its backslash: the code unit it stands for and how many
// characters of `rest` it used.
std::optional<std::pair<QChar, qsizetype>> readEscape(QStringView rest) {
    if (rest.isEmpty()) {
        return std::nullopt;
    }
    for (const auto& [character, letter] : kEscapes) {
        if (rest.front() == QChar(letter)) {
            return std::pair(QChar(character), 1);
        }
    }
    if (rest.front() == u'u' && rest.size() >= 5) {
        if (const auto unit = parseHex(rest.mid(1, 4))) {
            return std::pair(QChar(*unit), 5);
        }
    }
    return std::nullopt;
}

// `text` starts with the opening quote and has no blanks at its end.
std::optional<QString> readQuoted(QStringView text) {
    QString value;
    value.reserve(text.size());
    for (qsizetype i = 1; i < text.size();) {
        const qsizetype stop = indexOfQuoteOrBackslash(text, i);
        value += text.mid(i, stop - i);
        if (stop == text.size()) {
            return std::nullopt;
        }
        if (text[stop] == kQuote) {
            return stop == text.size() - 1 ? std::optional(value) : std::nullopt;
        }
        const auto escape = readEscape(text.mid(stop + 1));
        if (!escape) {
            return std::nullopt;
        }
        value += escape->first;
        i = stop + 1 + escape->second;
    }
    return std::nullopt;
}

QString readValue(QStringView afterEquals) {
    const QStringView text = afterEquals.trimmed();
    if (text.startsWith(kQuote)) {
        if (auto quoted = readQuoted(text)) {
            return *quoted;
        }
    }
    return text.toString();
}

// ---- names

QString escapeUnits(QStringView units) {
    QString escaped;
    for (QChar unit : units) {
        escaped += unit.unicode() < 0x100 ? kPercent + hex(unit.unicode(), 2)
                                          : QStringLiteral("%u") + hex(unit.unicode(), 4);
    }
    return escaped;
}

bool keyNeedsEscape(char32_t codePoint, qsizetype first, qsizetype units, qsizetype size) {
    const bool atStart = first == 0;
    const bool atEnd = first + units == size;
    return codePoint == u'=' || ((atStart || atEnd) && codePoint == u' ') ||
           (atStart && (codePoint == u'[' || codePoint == u';' || codePoint == u'#'));
}

QString escapeName(const QString& name, bool isKey) {
    QString escaped;
    forEachCodePoint(name, [&](char32_t codePoint, qsizetype first, qsizetype units) {
        const QStringView piece = QStringView(name).mid(first, units);
        const bool escape = codePoint == u'%' || !isPlain(codePoint) ||
                            (isKey && keyNeedsEscape(codePoint, first, units, name.size()));
        escaped += escape ? escapeUnits(piece) : piece.toString();
    });
    return escaped;
}

QString unescapeName(QStringView text) {
    QString name;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == kPercent) {
            const bool wide = i + 1 < text.size() && text[i + 1] == u'u';
            const QStringView digits = text.mid(i + (wide ? 2 : 1), wide ? 4 : 2);
            const auto unit = parseHex(digits);
            if (unit && digits.size() == (wide ? 4 : 2)) {
                name += QChar(*unit);
                i += digits.size() + (wide ? 1 : 0);
                continue;
            }
        }
        name += text[i];
    }
    return name;
}

QString headerLine(const QString& section) {
    return u'[' + escapeName(section, false) + u']';
}

}  // namespace

// Each line on its own: one stray byte in a file written by hand in an older editor costs only
// the look of its own line, every other value reads as written, and a save writes that line back
// as the same characters in UTF-8. Latin-1 gives every byte a character, so nothing is lost.
QString IniDocument::decode(const QByteArray& bytes) {
    const auto flags =
        QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom;
    QStringDecoder whole(QStringConverter::Utf8, flags);
    QString text = whole.decode(bytes);
    if (!whole.hasError()) {
        return text;
    }
    text.clear();
    const QList<QByteArray> lines = bytes.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QStringDecoder decoder(QStringConverter::Utf8, flags);
        const QString decoded = decoder.decode(lines[i]);
        text += (i > 0 ? QStringLiteral("\n") : QString()) +
                (decoder.hasError() ? QString::fromLatin1(lines[i]) : decoded);
    }
    return text;
}

QList<std::pair<QString, QString>> IniDocument::addresses() const {
    if (!indexed_) {
        buildIndex();
    }
    return valueLines_.keys();
}

IniDocument IniDocument::fromText(QStringView text) {
    if (text.startsWith(QChar(0xFEFF))) {
        text = text.mid(1);
    }
    if (text.endsWith(u'\n')) {
        text.chop(1);
    }
    IniDocument document;
    if (text.isEmpty()) {
        return document;
    }
    std::optional<QString> currentSection;
    document.lines_.reserve(text.count(u'\n') + 1);
    for (QStringView line : text.split(u'\n')) {
        if (line.endsWith(u'\r')) {
            line.chop(1);
        }
        document.lines_.append(parseLine(line.toString(), currentSection));
    }
    return document;
}

IniDocument::Line IniDocument::parseLine(const QString& text,
                                         std::optional<QString>& currentSection) {
    Line line{text, Kind::Other, currentSection, {}, {}};
    const QStringView content = QStringView(text).trimmed();
    if (content.isEmpty() || content.front() == u';' || content.front() == u'#') {
        return line;
    }
    if (content.front() == u'[') {
        const qsizetype close = content.lastIndexOf(u']');
        currentSection =
            close > 0 ? std::optional(unescapeName(content.mid(1, close - 1))) : std::nullopt;
        line.section = currentSection;
        line.kind = close > 0 ? Kind::Section : Kind::Other;
        return line;
    }
    const qsizetype equals = content.indexOf(u'=');
    if (equals >= 0 && currentSection) {
        line.kind = Kind::Value;
        line.key = unescapeName(content.left(equals).trimmed());
        line.value = readValue(content.mid(equals + 1));
    }
    return line;
}

QString IniDocument::toText() const {
    QString text;
    for (const Line& line : lines_) {
        text += line.text + u'\n';
    }
    return text;
}

std::optional<QString> IniDocument::value(const QString& section, const QString& key) const {
    const qsizetype index = lastLineOf(section, key);
    return index < 0 ? std::nullopt : std::optional(lines_[index].value);
}

void IniDocument::setValue(const QString& section, const QString& key, const QString& text) {
    if (const qsizetype index = lastLineOf(section, key); index >= 0) {
        lines_[index] = valueLine(section, key, text);
    } else if (const qsizetype last = lastLineInSection(section); last < 0) {
        appendSection(section, key, text);
    } else if (last == lines_.size() - 1) {
        appendLine(valueLine(section, key, text));
    } else {
        lines_.insert(last + 1, valueLine(section, key, text));
        indexed_ = false;
    }
}

IniDocument::Line IniDocument::valueLine(const QString& section, const QString& key,
                                         const QString& text) {
    return {escapeName(key, true) + u'=' + formatValue(text), Kind::Value, section, key, text};
}

void IniDocument::buildIndex() const {
    valueLines_.clear();
    sectionEnds_.clear();
    valueLines_.reserve(lines_.size());
    // A section's end is noted once per run of its lines, not at every line.
    const Line* runStart = nullptr;
    qsizetype runEnd = -1;
    for (qsizetype i = 0; i < lines_.size(); ++i) {
        const Line& line = lines_[i];
        if (line.kind == Kind::Other) {
            continue;
        }
        if (line.kind == Kind::Value) {
            valueLines_.insert({*line.section, line.key}, i);
        }
        if (runStart != nullptr && runStart->section != line.section) {
            sectionEnds_.insert(*runStart->section, runEnd);
        }
        if (runStart == nullptr || runStart->section != line.section) {
            runStart = &line;
        }
        runEnd = i;
    }
    if (runStart != nullptr) {
        sectionEnds_.insert(*runStart->section, runEnd);
    }
    indexed_ = true;
}

// Appending moves no other line, so the index stays right and only learns the new line.
void IniDocument::appendLine(Line line) {
    lines_.append(std::move(line));
    const Line& added = lines_.back();
    if (!indexed_ || added.kind == Kind::Other) {
        return;
    }
    if (added.kind == Kind::Value) {
        valueLines_.insert({*added.section, added.key}, lines_.size() - 1);
    }
    sectionEnds_.insert(*added.section, lines_.size() - 1);
}

qsizetype IniDocument::lastLineOf(const QString& section, const QString& key) const {
    if (!indexed_) {
        buildIndex();
    }
    return valueLines_.value({section, key}, -1);
}

// The last header or value of the section's last appearance: new keys go right after it, so
// that comments and blank lines that follow the section stay after it.
qsizetype IniDocument::lastLineInSection(const QString& section) const {
    if (!indexed_) {
        buildIndex();
    }
    return sectionEnds_.value(section, -1);
}

void IniDocument::appendSection(const QString& section, const QString& key, const QString& text) {
    if (!lines_.isEmpty() && !QStringView(lines_.back().text).trimmed().isEmpty()) {
        appendLine(Line{});
    }
    appendLine(Line{headerLine(section), Kind::Section, section, {}, {}});
    appendLine(valueLine(section, key, text));
}

}  // namespace tamarin
