// libFuzzer target: any bytes as GameSpy 1 datagrams, read alone and put together as a reply.
#include <QByteArrayView>
#include <cstddef>
#include <cstdint>

#include "fuzz/statuscheck.h"
#include "serverquery/gamespy1protocol.h"
#include "serverquery/gametypes.h"
#include "serverquery/queryconversation.h"

using namespace tamarin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView input(reinterpret_cast<const char*>(data), qsizetype(size));
    if (const std::optional<GameSpy1Packet> packet = parseGameSpy1Packet(input)) {
        if (packet->queryNumber && (packet->index < 1 || packet->index > kGameSpy1MaxPackets)) {
            __builtin_trap();
        }
        if (const std::optional<ServerStatus> status = gameSpy1Status(packet->fields)) {
            checkStatus(*status, size);
        }
    }
    // The same bytes cut at every line feed make several datagrams, in the order given, so
    // numbering, duplicates and "\final\" in odd places all get exercised.
    const std::unique_ptr<QueryConversation> talk = makeConversation(QueryProtocol::GameSpy1);
    talk->firstRequest();
    qsizetype start = 0;
    for (qsizetype end = input.indexOf('\n'); start <= input.size();
         end = input.indexOf('\n', start)) {
        const qsizetype stop = end < 0 ? input.size() : end;
        if (const std::optional<ServerStatus> outcome =
                talk->onDatagram(input.sliced(start, stop - start)).outcome) {
            checkStatus(*outcome, size);
            return 0;
        }
        start = stop + 1;
    }
    checkStatus(talk->onTimeout(), size);
    return 0;
}
