// libFuzzer target: any datagram handed to the Quake III reply parser, and the whole exchange.
#include <QByteArrayView>
#include <cstddef>
#include <cstdint>

#include "serverquery/gametypes.h"
#include "serverquery/quake3protocol.h"
#include "serverquery/queryconversation.h"

using namespace tamarin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView datagram(reinterpret_cast<const char*>(data), qsizetype(size));
    if (const std::optional<ServerStatus> status = parseQuake3StatusReply(datagram)) {
        // What was parsed must be usable as it is: counts agree, nothing is left unbounded.
        if (status->players != status->rows.size() || status->maxPlayers < 0) {
            __builtin_trap();
        }
        for (const PlayerRow& row : status->rows) {
            if (row.name.size() > qsizetype(size)) {
                __builtin_trap();
            }
        }
    }
    const std::unique_ptr<QueryConversation> talk = makeConversation(QueryProtocol::Quake3);
    talk->firstRequest();
    talk->onDatagram(datagram);
    return 0;
}
