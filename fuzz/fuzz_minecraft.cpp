// libFuzzer target: a Minecraft: Java Edition server's stream, cut into pieces at the input's own
// bytes, through the packet reader and the whole exchange; each packet also straight to the
// status parser.
#include <QByteArrayView>
#include <cstddef>
#include <cstdint>

#include "serverquery/gametypes.h"
#include "serverquery/minecraftprotocol.h"
#include "serverquery/queryconversation.h"

using namespace tamarin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView input(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto talk = makeConversation(QueryProtocol::MinecraftJava, QStringLiteral("h"), 25565);
    talk->firstRequest();
    MinecraftPackets packets;
    QByteArray packet;
    // The first byte sets the size of the pieces the stream arrives in.
    const qsizetype piece = input.isEmpty() ? 1 : 1 + quint8(input[0]) % 64;
    for (qsizetype at = 0; at < input.size(); at += piece) {
        const QByteArrayView chunk = input.sliced(at, std::min(piece, input.size() - at));
        packets.add(chunk);
        while (packets.next(packet) == MinecraftPackets::Next::Packet) {
            if (packet.size() > MinecraftPackets::kMaxPacket) {
                __builtin_trap();
            }
            if (const auto status = parseMinecraftStatus(packet);
                status && (status->rows.size() > 64 || status->players < 0)) {
                __builtin_trap();
            }
        }
        if (talk->onDatagram(chunk).outcome) {
            break;
        }
    }
    talk->onTimeout();
    return 0;
}
