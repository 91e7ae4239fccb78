// libFuzzer target: any datagram handed to the Unreal 2 reply parsers, and the whole exchange.
#include <QByteArrayView>
#include <cstddef>
#include <cstdint>

#include "serverquery/gametypes.h"
#include "serverquery/queryconversation.h"
#include "serverquery/unreal2protocol.h"

using namespace tamarin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView datagram(reinterpret_cast<const char*>(data), qsizetype(size));
    if (const std::optional<ServerStatus> info = parseUnreal2Info(datagram)) {
        if (info->players < 0 || info->maxPlayers < 0 || !info->rows.isEmpty()) {
            __builtin_trap();
        }
    }
    if (const std::optional<QList<PlayerRow>> rows = parseUnreal2Players(datagram)) {
        // Every record takes at least 17 bytes, so no datagram yields more rows than that allows.
        if (rows->size() * 17 > qsizetype(size)) {
            __builtin_trap();
        }
    }
    // The same bytes as the info and then as every player datagram: the conversation must stay
    // within its bounds however often a list comes.
    const std::unique_ptr<QueryConversation> talk = makeConversation(QueryProtocol::Unreal2);
    talk->firstRequest();
    talk->onDatagram(datagram);
    for (int i = 0; i < 3; ++i) {
        QByteArray player = QByteArray("\x80\0\0\0\x02", 5) + datagram.toByteArray();
        player.append(char(i));
        talk->onDatagram(player);
    }
    const ServerStatus status = talk->onTimeout();
    if (status.rows.size() > kUnreal2MaxRows || status.rowsLeftOut < 0) {
        __builtin_trap();
    }
    return 0;
}
