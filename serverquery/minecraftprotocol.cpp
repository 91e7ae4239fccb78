#include "serverquery/minecraftprotocol.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtEndian>
#include <algorithm>

#include "serverquery/bedrockprotocol.h"
#include "serverquery/servertext.h"

namespace tamarin {

namespace {

// The handshake names no protocol version of its own: -1 asks for the status of any version.
constexpr int kAnyVersion = -1;
constexpr int kStatusState = 1;
constexpr char kStatusPacket = 0x00;
constexpr char kPingPacket = 0x01;
constexpr int kMaxVarIntBytes = 5;
// Chat components nest; deeper ones are left out rather than followed without end.
constexpr int kMaxComponentDepth = 16;
constexpr qsizetype kMaxTextLength = 4096;
constexpr qsizetype kMaxSampleRows = 64;

void appendVarInt(QByteArray& bytes, quint32 value) {
    do {
        const char low = char(value & 0x7f);
        value >>= 7;
        bytes.append(value ? char(low | 0x80) : low);
    } while (value);
}

// A VarInt at the start of `bytes`: its value and its length; length 0 when it did not all
// arrive yet, -1 when it runs past 5 bytes.
std::pair<quint32, int> readVarInt(QByteArrayView bytes) {
    quint32 value = 0;
    for (int i = 0; i < kMaxVarIntBytes; ++i) {
        if (i >= bytes.size()) {
            return {0, 0};
        }
        value |= quint32(quint8(bytes[i]) & 0x7f) << (7 * i);
        if (!(quint8(bytes[i]) & 0x80)) {
            return {value, i + 1};
        }
    }
    return {0, -1};
}

QByteArray packet(char id, const QByteArray& body) {
    QByteArray framed;
    appendVarInt(framed, quint32(body.size() + 1));
    return framed + id + body;
}

// The text of a chat component: a string, or an object's text followed by its extra parts.
QString componentText(const QJsonValue& component, int depth = 0) {
    if (component.isString()) {
        return component.toString();
    }
    if (depth >= kMaxComponentDepth) {
        return {};
    }
    QString text;
    const auto appendParts = [&](const QJsonArray& parts) {
        for (const QJsonValue& part : parts) {
            text += componentText(part, depth + 1);
            if (text.size() > kMaxTextLength) {
                break;
            }
        }
    };
    if (component.isArray()) {
        appendParts(component.toArray());
    } else if (component.isObject()) {
        text = component[QLatin1String("text")].toString();
        appendParts(component[QLatin1String("extra")].toArray());
    }
    return cutText(text, kMaxTextLength);
}

// A server's text as the panel shows it: no formatting codes, no control characters.
QString plain(const QString& text) {
    return decodeServerText(stripMinecraftFormatting(text).toUtf8()).trimmed();
}

int count(const QJsonValue& value) {
    return int(std::clamp<double>(value.toDouble(), 0, 1e9));
}

QList<PlayerRow> sampleRows(const QJsonArray& sample) {
    QList<PlayerRow> rows;
    for (const QJsonValue& entry : sample) {
        if (rows.size() == kMaxSampleRows) {
            break;
        }
        const QString name = plain(entry[QLatin1String("name")].toString());
        if (!name.isEmpty()) {
            rows.append({name, 0, 0});
        }
    }
    return rows;
}

}  // namespace

QByteArray minecraftStatusRequest(const QString& host, quint16 port) {
    QByteArray handshake;
    appendVarInt(handshake, quint32(kAnyVersion));
    const QByteArray address = host.toUtf8().left(255);
    appendVarInt(handshake, quint32(address.size()));
    handshake.append(address);
    handshake.append(char(port >> 8)).append(char(port & 0xff));
    appendVarInt(handshake, kStatusState);
    return packet(kStatusPacket, handshake) + packet(kStatusPacket, {});
}

QByteArray minecraftPingRequest(quint64 payload) {
    char raw[sizeof payload];
    qToBigEndian(payload, raw);
    return packet(kPingPacket, QByteArray(raw, sizeof raw));
}

void MinecraftPackets::add(QByteArrayView bytes) {
    if (!broken_) {
        buffer_.append(bytes);
    }
}

MinecraftPackets::Next MinecraftPackets::next(QByteArray& packet) {
    const auto [length, lengthBytes] = readVarInt(buffer_);
    if (broken_ || lengthBytes < 0 || length > kMaxPacket || (lengthBytes > 0 && length == 0)) {
        broken_ = true;
        buffer_.clear();
        return Next::Broken;
    }
    if (lengthBytes == 0 || buffer_.size() - lengthBytes < qsizetype(length)) {
        return Next::NeedMore;
    }
    packet = buffer_.sliced(lengthBytes, length);
    buffer_.remove(0, lengthBytes + length);
    return Next::Packet;
}

std::optional<ServerStatus> parseMinecraftStatus(QByteArrayView packet) {
    if (packet.isEmpty() || packet[0] != kStatusPacket) {
        return std::nullopt;
    }
    const auto [length, lengthBytes] = readVarInt(packet.sliced(1));
    if (lengthBytes <= 0 || qsizetype(length) > packet.size() - 1 - lengthBytes) {
        return std::nullopt;
    }
    const QJsonDocument json =
        QJsonDocument::fromJson(packet.sliced(1 + lengthBytes, length).toByteArray());
    if (!json.isObject()) {
        return std::nullopt;
    }
    const QJsonObject reply = json.object();
    const QStringList lines =
        componentText(reply[QLatin1String("description")]).split(QLatin1Char('\n'));
    const QJsonValue players = reply[QLatin1String("players")];
    ServerStatus status;
    status.state = ServerStatus::State::Online;
    status.name = plain(lines.value(0));
    status.map = plain(lines.value(1));
    status.players = count(players[QLatin1String("online")]);
    status.maxPlayers = count(players[QLatin1String("max")]);
    status.rows = sampleRows(players[QLatin1String("sample")].toArray());
    status.rowsHaveNumbers = false;
    status.icon = serverIconPng(reply[QLatin1String("favicon")].toString());
    return status;
}

QByteArray serverIconPng(const QString& favicon) {
    static const QLatin1String kPrefix("data:image/png;base64,");
    constexpr qsizetype kMaxEncoded = (kMaxIconBytes + 2) / 3 * 4;
    if (!favicon.startsWith(kPrefix) || favicon.size() - kPrefix.size() > kMaxEncoded) {
        return {};
    }
    const auto decoded = QByteArray::fromBase64Encoding(favicon.sliced(kPrefix.size()).toLatin1(),
                                                        QByteArray::AbortOnBase64DecodingErrors);
    const QByteArray& png = decoded.decoded;
    // The signature, then the header chunk (13 bytes: width, height, ...).
    constexpr qsizetype kHeaderEnd = 8 + 8 + 13;
    if (!decoded || png.size() < kHeaderEnd || png.size() > kMaxIconBytes ||
        !png.startsWith("\x89PNG\r\n\x1a\n") ||
        png.sliced(8, 8) != QByteArray("\0\0\0\x0dIHDR", 8)) {
        return {};
    }
    const quint32 width = qFromBigEndian<quint32>(png.constData() + 16);
    const quint32 height = qFromBigEndian<quint32>(png.constData() + 20);
    constexpr quint32 kMaxSide = 64;
    return width >= 1 && height >= 1 && width <= kMaxSide && height <= kMaxSide ? png
                                                                                : QByteArray();
}

QByteArray minecraftLegacyPingRequest() {
    return QByteArrayLiteral("\xfe\x01");
}

std::optional<ServerStatus> parseMinecraftLegacyKick(QByteArrayView bytes) {
    constexpr char kKickPacket = char(0xff);
    if (bytes.size() < 3 || bytes[0] != kKickPacket) {
        return std::nullopt;
    }
    const qsizetype units = qFromBigEndian<quint16>(bytes.data() + 1);
    if (bytes.size() < 3 + 2 * units) {
        return std::nullopt;
    }
    QString text(units, Qt::Uninitialized);
    for (qsizetype i = 0; i < units; ++i) {
        text[i] = QChar(qFromBigEndian<quint16>(bytes.data() + 3 + 2 * i));
    }
    const bool tagged = text.startsWith(QString(QChar(0x00a7)) + QLatin1Char('1') + QChar(0));
    const QStringList fields = tagged ? text.split(QChar(0)) : text.split(QChar(0x00a7));
    const qsizetype first = tagged ? 3 : 0;  // the MOTD, then players and max
    if (fields.size() < first + 3) {
        return std::nullopt;
    }
    ServerStatus status;
    status.state = ServerStatus::State::Online;
    status.name = plain(fields[first]);
    status.players = std::max(0, fields[first + 1].toInt());
    status.maxPlayers = std::max(0, fields[first + 2].toInt());
    status.rowsHaveNumbers = false;
    return status;
}

bool isMinecraftPong(QByteArrayView packet, quint64 payload) {
    return packet.size() == 9 && packet[0] == kPingPacket &&
           qFromBigEndian<quint64>(packet.data() + 1) == payload;
}

}  // namespace tamarin
