// libFuzzer target: the GameSpy 3 challenge and packet parsers, the reassembly of packets cut from
// the input, and the whole exchange.
#include <QByteArrayView>
#include <QList>
#include <cstddef>
#include <cstdint>

#include "fuzz/statuscheck.h"
#include "serverquery/gamespy3protocol.h"
#include "serverquery/gametypes.h"
#include "serverquery/queryconversation.h"

using namespace tamarin;

namespace {

// The id a datagram carries, so the parsers read past the header.
quint32 idOf(QByteArrayView datagram) {
    if (datagram.size() < 5) {
        return 0;
    }
    const auto byte = [&](int i) { return quint32(quint8(datagram[i])); };
    return byte(1) << 24 | byte(2) << 16 | byte(3) << 8 | byte(4);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView input(reinterpret_cast<const char*>(data), qsizetype(size));
    parseGameSpy3Challenge(input, idOf(input));

    // The input as datagrams split at "||": each read as a packet of one reply.
    GameSpy3Packets packets;
    QList<QByteArray> payloads;
    // The conversation answers only its own id: every datagram is made to carry it.
    const std::unique_ptr<QueryConversation> talk = makeConversation(QueryProtocol::GameSpy3);
    const QByteArray talkId = talk->firstRequest().mid(3, 4);
    qsizetype start = 0;
    while (start <= input.size()) {
        qsizetype end = input.indexOf("||", start);
        end = end < 0 ? input.size() : end;
        const QByteArrayView datagram = input.sliced(start, end - start);
        if (const std::optional<GameSpy3Packet> packet =
                parseGameSpy3Packet(datagram, idOf(datagram))) {
            if (packet->number < 0 || packet->number > 0x7F) {
                __builtin_trap();
            }
            packets.add(*packet);
            payloads.append(packet->payload.toByteArray());
        }
        QByteArray own = datagram.toByteArray();
        if (own.size() >= 5) {
            own.replace(1, 4, talkId);
        }
        talk->onDatagram(own);
        start = end + 2;
    }
    checkStatus(packets.status(), size);
    checkStatus(parseGameSpy3Payloads(payloads), size);
    checkStatus(parseGameSpy3Payloads({input.toByteArray()}), size);
    checkStatus(talk->onTimeout(), size);
    return 0;
}
