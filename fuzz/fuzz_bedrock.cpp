// libFuzzer target: any datagram handed to the Bedrock pong parser, and the whole exchange.
#include <QByteArrayView>
#include <cstddef>
#include <cstdint>

#include "serverquery/bedrockprotocol.h"
#include "serverquery/gametypes.h"
#include "serverquery/queryconversation.h"

using namespace tamarin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView datagram(reinterpret_cast<const char*>(data), qsizetype(size));
    if (const std::optional<ServerStatus> status = parseBedrockPong(datagram)) {
        // Texts come from the datagram only, counts are never negative, and there are no rows.
        if (status->name.size() > qsizetype(size) || status->map.size() > qsizetype(size) ||
            status->players < 0 || status->maxPlayers < 0 || !status->rows.isEmpty()) {
            __builtin_trap();
        }
    }
    const std::unique_ptr<QueryConversation> talk = makeConversation(QueryProtocol::Bedrock);
    talk->firstRequest();
    talk->onDatagram(datagram);
    return 0;
}
