#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <array>
#include <memory>
#include <optional>

#include "serverquery/queryconversation.h"
#include "serverquery/serverstatus.h"

namespace tamarin {

class ByteReader;

// GameSpy 2 (Halo, Battlefield Vietnam, SWAT 4, F.E.A.R., ...): one datagram out asking for the
// server's keys, its players and its teams; one datagram back:
//   00, the request's 4-byte id,
//   "key\0value\0" pairs ended by an empty key,
//   the players: a 16-bit big-endian count, field names ("player_\0score_\0ping_\0...") ended by
//   an empty name, then the values row by row,
//   the teams the same way (not shown).
// GameSpy 3 carries the same keys and tables in its own packets; both read them through the
// GameSpyFields below.

QByteArray gameSpy2Request(quint32 id);

// Reads a GameSpy 2 reply to the request with this id. A datagram that is not one, carries
// another id, or whose keys did not arrive up to their empty key gives std::nullopt; players whose
// row was cut off are left out. The result's state is Online.
std::optional<ServerStatus> parseGameSpy2Reply(QByteArrayView datagram, quint32 id);

// What a GameSpy 2 or 3 reply says that the status shows, gathered as it is read. Only the keys
// and player columns shown are kept, so a reply's size never becomes memory beyond them.
class GameSpyFields {
  public:
    // Player rows beyond this many are not kept (and counted as left out where the count is known).
    static constexpr int kMaxRows = 256;

    enum class Column { Name, Score, Frags, Kills, Ping, Count };
    // The column a field name stands for ("player_", "score_", ...), if shown.
    static std::optional<Column> columnFor(QByteArrayView fieldName);

    // Reads "key\0value\0" pairs up to the empty key; false when the data ended first (the pairs
    // read so far are kept, a pair cut in half is not).
    bool readKeys(ByteReader& reader);
    // Sets one player field; a later value for the same row replaces an earlier one.
    void setValue(Column column, int row, QByteArrayView value);
    void setRowsLeftOut(int rows) { rowsLeftOut_ = rows; }

    // The status these fields make: Online, the host name and map, the counts the server reported
    // (the number of whole rows when it reported none), and the rows whose shown fields all came.
    ServerStatus status() const;

  private:
    std::optional<QByteArray> hostName_;
    std::optional<QByteArray> map_;
    std::optional<QByteArray> numPlayers_;
    std::optional<QByteArray> maxPlayers_;
    std::array<QList<std::optional<QByteArray>>, int(Column::Count)> columns_;
    int rowsLeftOut_ = 0;
};

// GameSpy 2: one request for info, players and teams.
std::unique_ptr<QueryConversation> makeGameSpy2Conversation();

}  // namespace tamarin
