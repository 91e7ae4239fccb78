#include "serverquery/gamespy2protocol.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QtEndian>
#include <algorithm>

#include "serverquery/bytereader.h"
#include "serverquery/servertext.h"

namespace tamarin {

namespace {

constexpr char kReplyType = 0x00;
constexpr qsizetype kIdSize = 4;

// SWAT 4 (and other Unreal Engine 2 games on GameSpy 2) colours its names with "[c=RRGGBB]"
// tags, closed by "[\c]"; they are markup, not the name.
QString stripColourTags(const QString& text) {
    static const QRegularExpression tags(QStringLiteral(R"(\[(?:[cC]=[0-9A-Fa-f]{6}|\\[cC])\])"));
    QString plain = text;
    plain.remove(tags);
    return plain;
}

QString shownText(QByteArrayView bytes) {
    return stripColourTags(decodeServerText(bytes));
}

// A count the server reported, if it is one; a negative or unreadable one is none.
std::optional<int> count(const std::optional<QByteArray>& text) {
    bool ok = false;
    const int value = text ? text->trimmed().toInt(&ok) : 0;
    return ok && value >= 0 ? std::optional(value) : std::nullopt;
}

qint32 number(const std::optional<QByteArray>& text) {
    return text ? text->trimmed().toInt() : 0;  // 0 for anything not an int
}

// The players' table: the count, the field names, the values row by row. Rows that did not
// arrive whole are left out.
void readPlayerTable(ByteReader& reader, GameSpyFields& fields) {
    const std::optional<QByteArrayView> countBytes = reader.readBytes(2);
    if (!countBytes) {
        return;
    }
    const int rows = qFromBigEndian<quint16>(countBytes->data());
    QList<std::optional<GameSpyFields::Column>> columns;
    for (;;) {
        const std::optional<QByteArrayView> name = reader.readCString();
        if (!name) {
            return;  // the field names were cut off: no row can be placed
        }
        if (name->isEmpty()) {
            break;
        }
        columns.append(GameSpyFields::columnFor(*name));
    }
    if (columns.isEmpty()) {
        return;
    }
    int leftOut = 0;  // whole rows beyond those kept
    for (int row = 0; row < rows; ++row) {
        QList<QByteArrayView> values;
        for (qsizetype i = 0; i < columns.size(); ++i) {
            const std::optional<QByteArrayView> value = reader.readCString();
            if (!value) {
                fields.setRowsLeftOut(leftOut);
                return;
            }
            values.append(*value);
        }
        if (row >= GameSpyFields::kMaxRows) {
            ++leftOut;
            continue;
        }
        for (qsizetype i = 0; i < columns.size(); ++i) {
            if (columns[i]) {
                fields.setValue(*columns[i], row, values[i]);
            }
        }
    }
    fields.setRowsLeftOut(leftOut);
}

// Answers the one request it sends with the first reply carrying its id.
class GameSpy2Conversation : public QueryConversation {
  public:
    QByteArray firstRequest() override { return gameSpy2Request(id_); }

    ConversationStep onDatagram(QByteArrayView datagram) override {
        return {{}, parseGameSpy2Reply(datagram, id_)};
    }

    ServerStatus onTimeout() const override {
        return ServerStatus::withState(ServerStatus::State::NotAnswering);
    }

  private:
    quint32 id_ = QRandomGenerator::global()->generate();
};

}  // namespace

std::optional<GameSpyFields::Column> GameSpyFields::columnFor(QByteArrayView fieldName) {
    static constexpr std::pair<QByteArrayView, Column> kNames[] = {
        {"player_", Column::Name}, {"score_", Column::Score}, {"frags_", Column::Frags},
        {"kills_", Column::Kills}, {"ping_", Column::Ping},
    };
    for (const auto& [name, column] : kNames) {
        if (fieldName == name) {
            return column;
        }
    }
    return std::nullopt;
}

bool GameSpyFields::readKeys(ByteReader& reader) {
    for (;;) {
        const std::optional<QByteArrayView> key = reader.readCString();
        if (!key) {
            return false;
        }
        if (key->isEmpty()) {
            return true;
        }
        const std::optional<QByteArrayView> value = reader.readCString();
        if (!value) {
            return false;
        }
        std::optional<QByteArray>* field = *key == "hostname"     ? &hostName_
                                           : *key == "mapname"    ? &map_
                                           : *key == "numplayers" ? &numPlayers_
                                           : *key == "maxplayers" ? &maxPlayers_
                                                                  : nullptr;
        if (field && !*field) {
            *field = value->toByteArray();
        }
    }
}

void GameSpyFields::setValue(Column column, int row, QByteArrayView value) {
    if (row < 0 || row >= kMaxRows || column == Column::Count) {
        return;
    }
    QList<std::optional<QByteArray>>& values = columns_[int(column)];
    if (values.size() <= row) {
        values.resize(row + 1);
    }
    values[row] = value.toByteArray();
}

ServerStatus GameSpyFields::status() const {
    ServerStatus status;
    status.state = ServerStatus::State::Online;
    status.name = hostName_ ? shownText(*hostName_) : QString();
    status.map = map_ ? shownText(*map_) : QString();
    status.maxPlayers = count(maxPlayers_).value_or(0);

    // The score is the first of score, frags and kills that the game lists.
    const auto present = [this](Column column) { return !columns_[int(column)].isEmpty(); };
    const Column scoreColumn = present(Column::Score)   ? Column::Score
                               : present(Column::Frags) ? Column::Frags
                                                        : Column::Kills;
    const Column shown[] = {Column::Name, scoreColumn, Column::Ping};
    const auto& names = columns_[int(Column::Name)];
    for (qsizetype row = 0; row < names.size(); ++row) {
        const bool whole = std::all_of(std::begin(shown), std::end(shown), [&](Column column) {
            const auto& values = columns_[int(column)];
            return values.isEmpty() || (row < values.size() && values[row].has_value());
        });
        if (!whole) {
            continue;
        }
        const auto value = [&](Column column) {
            const auto& values = columns_[int(column)];
            return values.isEmpty() ? std::optional<QByteArray>() : values[row];
        };
        status.rows.append({shownText(*names[row]), number(value(scoreColumn)),
                            std::max(0, number(value(Column::Ping)))});
    }
    status.rowsLeftOut = rowsLeftOut_;
    status.players = count(numPlayers_).value_or(int(status.rows.size()) + rowsLeftOut_);
    return status;
}

QByteArray gameSpy2Request(quint32 id) {
    return QByteArrayLiteral("\xFE\xFD\x00") + bigEndianBytes(id) +
           QByteArrayLiteral("\xFF\xFF\xFF");
}

std::optional<ServerStatus> parseGameSpy2Reply(QByteArrayView datagram, quint32 id) {
    ByteReader reader(datagram);
    const std::optional<QByteArrayView> header = reader.readBytes(1 + kIdSize);
    if (!header || (*header)[0] != kReplyType || header->sliced(1) != bigEndianBytes(id)) {
        return std::nullopt;
    }
    GameSpyFields fields;
    if (!fields.readKeys(reader)) {
        return std::nullopt;
    }
    readPlayerTable(reader, fields);
    return fields.status();
}

std::unique_ptr<QueryConversation> makeGameSpy2Conversation() {
    return std::make_unique<GameSpy2Conversation>();
}

}  // namespace tamarin
