#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <ostream>

// Lets GoogleTest print Qt's texts readably in failure messages.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& list, std::ostream* out) {
    *out << '{';
    for (qsizetype i = 0; i < list.size(); ++i) {
        *out << (i ? ", " : "") << '"' << list[i].toStdString() << '"';
    }
    *out << '}';
}
inline void PrintTo(const QVariant& value, std::ostream* out) {
    *out << value.typeName() << '(' << value.toString().toStdString() << ')';
}
QT_END_NAMESPACE
