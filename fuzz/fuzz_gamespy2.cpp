// libFuzzer target: any datagram handed to the GameSpy 2 reply parser, and the whole exchange.
#include <QByteArrayView>
#include <cstddef>
#include <cstdint>

#include "serverquery/gamespy2protocol.h"
#include "serverquery/gametypes.h"
#include "serverquery/queryconversation.h"

using namespace tamarin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView datagram(reinterpret_cast<const char*>(data), qsizetype(size));
    // The id the datagram itself carries, so the parser reads past the header.
    const quint32 id = size >= 5 ? quint32(data[1]) << 24 | quint32(data[2]) << 16 |
                                       quint32(data[3]) << 8 | quint32(data[4])
                                 : 0;
    if (const std::optional<ServerStatus> status = parseGameSpy2Reply(datagram, id)) {
        // What was parsed must be usable as it is: counts sane, rows bounded by the input.
        if (status->players < 0 || status->maxPlayers < 0 || status->rowsLeftOut < 0 ||
            status->rows.size() > GameSpyFields::kMaxRows ||
            status->rows.size() > qsizetype(size)) {
            __builtin_trap();
        }
        for (const PlayerRow& row : status->rows) {
            if (row.name.size() > qsizetype(size) || row.ping < 0) {
                __builtin_trap();
            }
        }
    }
    // The conversation answers only its own id: the input is made to carry it.
    const std::unique_ptr<QueryConversation> talk = makeConversation(QueryProtocol::GameSpy2);
    QByteArray reply = datagram.toByteArray();
    if (reply.size() >= 5) {
        reply.replace(1, 4, talk->firstRequest().mid(3, 4));
    }
    if (const std::optional<ServerStatus> outcome = talk->onDatagram(reply).outcome;
        outcome && outcome->state != ServerStatus::State::Online) {
        __builtin_trap();
    }
    talk->onTimeout();
    return 0;
}
