#include "serverquery/aseprotocol.h"

#include <algorithm>
#include <array>

#include "serverquery/bytereader.h"
#include "serverquery/servertext.h"

namespace tamarin {

namespace {

constexpr QByteArrayView kReplyHeader("EYE1");
constexpr qsizetype kColourDigits = 6;

// The player record's flags: which of its fields follow, in this order.
enum PlayerField : quint8 {
    Name = 0x01,
    Team = 0x02,
    Skin = 0x04,
    Score = 0x08,
    Ping = 0x10,
    Time = 0x20,
};

// One field: its length byte counts itself. A length of 0 (which no server should send) is read
// as an empty text too rather than as a broken reply.
std::optional<QByteArrayView> readField(ByteReader& reader) {
    const std::optional<quint8> length = reader.readU8();
    if (!length) {
        return std::nullopt;
    }
    return reader.readBytes(std::max(0, int(*length) - 1));
}

// A number as the server writes it, in decimal; anything else is none.
std::optional<int> fieldNumber(QByteArrayView field) {
    bool ok = false;
    const int value = field.toByteArray().trimmed().toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

QString displayText(QByteArrayView field) {
    return stripAseColours(decodeServerText(field));
}

// One player record after its flags byte; std::nullopt when a field it announces did not arrive.
std::optional<PlayerRow> readPlayer(ByteReader& reader, quint8 flags) {
    PlayerRow row;
    for (const PlayerField field : {Name, Team, Skin, Score, Ping, Time}) {
        if (!(flags & field)) {
            continue;
        }
        const std::optional<QByteArrayView> text = readField(reader);
        if (!text) {
            return std::nullopt;
        }
        if (field == Name) {
            row.name = displayText(*text);
        } else if (field == Score) {
            row.score = fieldNumber(*text).value_or(0);
        } else if (field == Ping) {
            row.ping = std::max(0, fieldNumber(*text).value_or(0));
        }
    }
    return row;
}

bool isHexDigit(QChar c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

}  // namespace

QByteArray aseStatusRequest() {
    return QByteArrayLiteral("s");
}

QString stripAseColours(const QString& text) {
    QString plain;
    plain.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool colourCode =
            text[i] == u'#' && i + kColourDigits < text.size() &&
            std::all_of(text.begin() + i + 1, text.begin() + i + 1 + kColourDigits, isHexDigit);
        if (colourCode) {
            i += kColourDigits;
            continue;
        }
        plain.append(text[i]);
    }
    return plain;
}

std::optional<ServerStatus> parseAseReply(QByteArrayView datagram) {
    if (!datagram.startsWith(kReplyHeader)) {
        return std::nullopt;
    }
    ByteReader reader(datagram.sliced(kReplyHeader.size()));
    // Game, port, server name, game type, map, version, password, players, max players.
    std::array<QByteArrayView, 9> server;
    for (QByteArrayView& field : server) {
        const std::optional<QByteArrayView> text = readField(reader);
        if (!text) {
            return std::nullopt;
        }
        field = *text;
    }
    ServerStatus status;
    status.state = ServerStatus::State::Online;
    status.name = displayText(server[2]);
    status.map = decodeServerText(server[4]);
    status.maxPlayers = std::max(0, fieldNumber(server[8]).value_or(0));

    // The rules are not shown; they end at an empty key, or with the reply when nobody plays.
    for (std::optional<QByteArrayView> key = readField(reader); key && !key->isEmpty();
         key = readField(reader)) {
        if (!readField(reader)) {
            break;
        }
    }
    while (!reader.atEnd()) {
        const quint8 flags = *reader.readU8();
        const std::optional<PlayerRow> row = readPlayer(reader, flags);
        if (!row) {
            break;
        }
        if (!(flags & Name)) {
            continue;
        }
        if (status.rows.size() < kAseMaxRows) {
            status.rows.append(*row);
        } else {
            ++status.rowsLeftOut;
        }
    }
    const int listed = int(status.rows.size()) + status.rowsLeftOut;
    status.players = std::max(0, fieldNumber(server[7]).value_or(listed));
    return status;
}

namespace {

class AseConversation : public QueryConversation {
  public:
    QByteArray firstRequest() override { return aseStatusRequest(); }
    // A datagram that is no reply changes nothing; the first one that is ends the query.
    ConversationStep onDatagram(QByteArrayView datagram) override {
        return {{}, parseAseReply(datagram)};
    }
    ServerStatus onTimeout() const override {
        return ServerStatus::withState(ServerStatus::State::NotAnswering);
    }
};

}  // namespace

std::unique_ptr<QueryConversation> makeAseConversation() {
    return std::make_unique<AseConversation>();
}

}  // namespace tamarin
