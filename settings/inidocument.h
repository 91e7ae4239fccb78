#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringView>
#include <optional>

namespace tamarin {

// One settings file as text: its lines, kept as they were so that comments, blank lines and the
// order of sections and keys survive a rewrite, with the sections and values read from them.
// Pure text in, text out; the file itself is handled by IniSettingsStore.
class IniDocument {
  public:
    static IniDocument fromText(QStringView text);
    QString toText() const;
    // The text of a file's bytes: each line of UTF-8 as UTF-8, any other line as Latin-1.
    static QString decode(const QByteArray& bytes);

    // Every section and key that has a value, each once, in no particular order.
    QList<std::pair<QString, QString>> addresses() const;

    // The text of the last line that gives this key in a section of this name, if any.
    std::optional<QString> value(const QString& section, const QString& key) const;

    // Replaces that same line, or adds the key to the section (adding the section at the end).
    void setValue(const QString& section, const QString& key, const QString& text);

  private:
    enum class Kind { Other, Section, Value };

    struct Line {
        QString text;  // as written, without its line break
        Kind kind = Kind::Other;
        std::optional<QString> section;  // the section this line opens or belongs to
        QString key;
        QString value;
    };

    static Line parseLine(const QString& text, std::optional<QString>& currentSection);
    static Line valueLine(const QString& section, const QString& key, const QString& text);
    qsizetype lastLineOf(const QString& section, const QString& key) const;
    qsizetype lastLineInSection(const QString& section) const;
    void appendSection(const QString& section, const QString& key, const QString& text);
    void appendLine(Line line);
    void buildIndex() const;

    QList<Line> lines_;

    // Where each value and each section's last line stand, so that a lookup does not walk a
    // file of thousands of games. Built at the first lookup; a line inserted in the middle
    // shifts the lines after it, so the index is then built again at the next lookup.
    mutable QHash<std::pair<QString, QString>, qsizetype> valueLines_;
    mutable QHash<QString, qsizetype> sectionEnds_;
    mutable bool indexed_ = false;
};

}  // namespace tamarin
