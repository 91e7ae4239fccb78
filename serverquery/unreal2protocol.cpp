#include "serverquery/unreal2protocol.h"

#include <QHashFunctions>
#include <QtEndian>
#include <algorithm>

#include "serverquery/bytereader.h"
#include "serverquery/servertext.h"

namespace tamarin {

namespace {

constexpr char kRequestPrefix[] = {'\x79', '\0', '\0', '\0'};
constexpr quint8 kWideText = 0x80;
constexpr int kColourCodeLength = 3;  // after the escape byte: red, green, blue

// The engine's colour code is an escape byte followed by three colour bytes; everything of it goes,
// also a code cut short at the end of the text.
template <typename Text>
Text withoutColourCodes(const Text& text) {
    Text plain;
    plain.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == typename Text::value_type(0x1B)) {
            i += kColourCodeLength;
            continue;
        }
        plain.append(text[i]);
    }
    return plain;
}

// A text ends at its first NUL; the length normally puts it last. Colour codes go first, as their
// colour bytes may be 0.
template <typename Text>
Text upToNul(const Text& text) {
    const qsizetype nul = text.indexOf(typename Text::value_type(0));
    return nul < 0 ? text : text.first(nul);
}

// One text field. A length of 0 is an empty text without even the NUL.
std::optional<QString> readText(ByteReader& reader) {
    const std::optional<quint8> length = reader.readU8();
    if (!length) {
        return std::nullopt;
    }
    if (*length & kWideText) {
        const std::optional<QByteArrayView> bytes = reader.readBytes(qsizetype(*length & 0x7F) * 2);
        if (!bytes) {
            return std::nullopt;
        }
        QString wide;
        for (qsizetype i = 0; i + 1 < bytes->size(); i += 2) {
            wide.append(QChar(qFromLittleEndian<quint16>(bytes->data() + i)));
        }
        // Through UTF-8 so that a wide text loses its control characters like any other; a lone
        // surrogate becomes a replacement character on the way.
        return decodeServerText(upToNul(withoutColourCodes(wide)).toUtf8());
    }
    const std::optional<QByteArrayView> bytes = reader.readBytes(*length);
    if (!bytes) {
        return std::nullopt;
    }
    return decodeServerText(upToNul(withoutColourCodes(bytes->toByteArray())));
}

// The engine version (which differs between games, so any is taken) and the kind of reply.
bool readHeader(ByteReader& reader, Unreal2Query expected) {
    return reader.skip(4) && reader.readU8() == quint8(expected);
}

}  // namespace

QByteArray unreal2Request(Unreal2Query query) {
    QByteArray request(kRequestPrefix, sizeof kRequestPrefix);
    request.append(char(query));
    return request;
}

std::optional<ServerStatus> parseUnreal2Info(QByteArrayView datagram) {
    ByteReader reader(datagram);
    // Server id, address (a text), game port and query port come first and are not shown.
    if (!readHeader(reader, Unreal2Query::Info) || !reader.skip(4) || !readText(reader) ||
        !reader.skip(8)) {
        return std::nullopt;
    }
    const std::optional<QString> name = readText(reader);
    const std::optional<QString> map = name ? readText(reader) : std::nullopt;
    const std::optional<QString> gameType = map ? readText(reader) : std::nullopt;
    const std::optional<qint32> players = gameType ? reader.readI32() : std::nullopt;
    const std::optional<qint32> maxPlayers = players ? reader.readI32() : std::nullopt;
    if (!maxPlayers) {
        return std::nullopt;
    }
    ServerStatus status;
    status.state = ServerStatus::State::Online;
    status.name = *name;
    status.map = *map;
    status.players = std::max(0, *players);
    status.maxPlayers = std::max(0, *maxPlayers);
    return status;
}

std::optional<QList<PlayerRow>> parseUnreal2Players(QByteArrayView datagram) {
    ByteReader reader(datagram);
    if (!readHeader(reader, Unreal2Query::Players)) {
        return std::nullopt;
    }
    QList<PlayerRow> rows;
    while (!reader.atEnd()) {
        // Player id, name, ping, score, stats id (whose high bits some games use for the team).
        const std::optional<qint32> id = reader.readI32();
        const std::optional<QString> name = id ? readText(reader) : std::nullopt;
        const std::optional<qint32> ping = name ? reader.readI32() : std::nullopt;
        const std::optional<qint32> score = ping ? reader.readI32() : std::nullopt;
        if (!score || !reader.skip(4)) {
            break;
        }
        rows.append(PlayerRow{*name, *score, *ping});
    }
    return rows;
}

namespace {

class Unreal2Conversation : public QueryConversation {
  public:
    QByteArray firstRequest() override { return unreal2Request(Unreal2Query::Info); }

    ConversationStep onDatagram(QByteArrayView datagram) override {
        if (!status_) {
            status_ = parseUnreal2Info(datagram);
            if (!status_ || status_->players == 0) {
                return {{}, status_};
            }
            return {unreal2Request(Unreal2Query::Players), std::nullopt};
        }
        const std::optional<QList<PlayerRow>> rows = parseUnreal2Players(datagram);
        // The same datagram twice answers a resent request; its players are in already.
        const size_t hash = qHash(datagram);
        if (!rows || seen_.contains(hash)) {
            return {};
        }
        seen_.append(hash);
        for (const PlayerRow& row : *rows) {
            if (status_->rows.size() < kUnreal2MaxRows) {
                status_->rows.append(row);
            } else {
                ++status_->rowsLeftOut;
            }
        }
        const bool complete = status_->rows.size() + status_->rowsLeftOut >= status_->players;
        if (complete || seen_.size() >= kUnreal2MaxPlayerDatagrams) {
            return {{}, status_};
        }
        return {};
    }

    ServerStatus onTimeout() const override {
        return status_ ? *status_ : ServerStatus::withState(ServerStatus::State::NotAnswering);
    }

  private:
    std::optional<ServerStatus> status_;
    QList<size_t> seen_;
};

}  // namespace

std::unique_ptr<QueryConversation> makeUnreal2Conversation() {
    return std::make_unique<Unreal2Conversation>();
}

}  // namespace tamarin
