#include "serverquery/bedrockprotocol.h"

#include <QList>
#include <QtEndian>

#include "serverquery/servertext.h"

namespace tamarin {

namespace {

constexpr char kUnconnectedPing = 0x01;
constexpr char kUnconnectedPong = 0x1c;
// RakNet's "offline message" magic, in every packet sent before a connection exists.
constexpr QByteArrayView kMagic("\x00\xff\xff\x00\xfe\xfe\xfe\xfe\xfd\xfd\xfd\xfd\x12\x34\x56\x78",
                                16);
constexpr qsizetype kPongHeader = 1 + 8 + 8;  // id, the ping's time, the server's id
constexpr int kEdition = 0, kMotd = 1, kPlayers = 4, kMax = 5, kSecondLine = 7;
constexpr int kFewestFields = 6;

void appendBigEndian(QByteArray& bytes, quint64 value) {
    char raw[sizeof value];
    qToBigEndian(value, raw);
    bytes.append(raw, sizeof raw);
}

// A player count as the server wrote it; anything that is not a plain number reads as 0.
int count(QByteArrayView field) {
    bool ok = false;
    const int value = field.trimmed().toByteArray().toInt(&ok);
    return ok && value >= 0 ? value : 0;
}

QList<QByteArrayView> splitFields(QByteArrayView bytes) {
    QList<QByteArrayView> fields;
    for (qsizetype end = bytes.indexOf(';'); end >= 0; end = bytes.indexOf(';')) {
        fields.append(bytes.first(end));
        bytes = bytes.sliced(end + 1);
    }
    fields.append(bytes);
    return fields;
}

QString text(QByteArrayView field) {
    return stripMinecraftFormatting(decodeServerText(field)).trimmed();
}

}  // namespace

QByteArray bedrockPingRequest(quint64 sentAtMs, quint64 clientId) {
    QByteArray request(1, kUnconnectedPing);
    appendBigEndian(request, sentAtMs);
    request.append(kMagic);
    appendBigEndian(request, clientId);
    return request;
}

std::optional<ServerStatus> parseBedrockPong(QByteArrayView datagram) {
    const qsizetype textAt = kPongHeader + kMagic.size() + 2;
    if (datagram.size() < textAt || datagram[0] != kUnconnectedPong ||
        datagram.sliced(kPongHeader, kMagic.size()) != kMagic) {
        return std::nullopt;
    }
    const qsizetype length = qFromBigEndian<quint16>(datagram.data() + textAt - 2);
    if (length > datagram.size() - textAt) {
        return std::nullopt;
    }
    const QList<QByteArrayView> fields = splitFields(datagram.sliced(textAt, length));
    if (fields.size() < kFewestFields || fields[kEdition].isEmpty()) {
        return std::nullopt;
    }
    ServerStatus status;
    status.state = ServerStatus::State::Online;
    status.name = text(fields[kMotd]);
    status.map = fields.size() > kSecondLine ? text(fields[kSecondLine]) : QString();
    status.players = count(fields[kPlayers]);
    status.maxPlayers = count(fields[kMax]);
    return status;
}

QString stripMinecraftFormatting(const QString& text) {
    QString plain;
    plain.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QChar(0x00A7)) {
            // The code after it, if any, whole even where it is outside the basic plane.
            i += i + 2 < text.size() && text[i + 1].isHighSurrogate() ? 2 : 1;
            continue;
        }
        plain.append(text[i]);
    }
    return plain;
}

}  // namespace tamarin
