// Feeds arbitrary bytes to the settings file format as a file read from disk, then sets one value
// whose section, key and text come from the input too. Nothing may crash, and what is written
// must read back as the same values: the file as parsed, with only the value that was set changed.
#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "settings/inidocument.h"

namespace {

using tamarin::IniDocument;

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// Every value of `before` reads the same in `after`, except the one at `changed`.
void requireSameValues(const IniDocument& before, const IniDocument& after,
                       const std::pair<QString, QString>& changed) {
    for (const auto& [section, key] : before.addresses()) {
        if (std::pair(section, key) != changed) {
            require(after.value(section, key) == before.value(section, key));
        }
    }
}

// The first three lines of the input name the value to set (any text, decoded leniently); the
// rest is the file.
void checkRewrite(const QByteArray& bytes) {
    QList<QByteArray> parts = bytes.split('\n');
    while (parts.size() < 4) {
        parts.append(QByteArray());
    }
    const QString section = QString::fromUtf8(parts[0]);
    const QString key = QString::fromUtf8(parts[1]);
    const QString text = QString::fromUtf8(parts[2]).replace(u'|', u'\n');
    const QByteArray file = bytes.mid(parts[0].size() + parts[1].size() + parts[2].size() + 3);

    const IniDocument parsed = IniDocument::fromText(IniDocument::decode(file));
    const QString written = parsed.toText();
    const IniDocument reread = IniDocument::fromText(IniDocument::decode(written.toUtf8()));
    require(reread.addresses().size() == parsed.addresses().size());
    requireSameValues(parsed, reread, {});

    IniDocument changed = reread;
    changed.setValue(section, key, text);
    const IniDocument saved = IniDocument::fromText(IniDocument::decode(changed.toText().toUtf8()));
    require(saved.value(section, key) == text);
    requireSameValues(parsed, saved, {section, key});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    checkRewrite(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    return 0;
}
