// libFuzzer target: any datagram handed to the All-Seeing Eye reply parser, and the whole exchange.
#include <QByteArrayView>
#include <cstddef>
#include <cstdint>

#include "serverquery/aseprotocol.h"
#include "serverquery/gametypes.h"
#include "serverquery/queryconversation.h"

using namespace tamarin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView datagram(reinterpret_cast<const char*>(data), qsizetype(size));
    if (const std::optional<ServerStatus> status = parseAseReply(datagram)) {
        // What was parsed must be usable as it is: counts sane, rows bounded, no text longer
        // than the datagram it came from.
        if (status->players < 0 || status->maxPlayers < 0 || status->rowsLeftOut < 0 ||
            status->rows.size() > kAseMaxRows || status->name.size() > qsizetype(size)) {
            __builtin_trap();
        }
        for (const PlayerRow& row : status->rows) {
            if (row.name.size() > qsizetype(size) || row.ping < 0) {
                __builtin_trap();
            }
        }
    }
    if (stripAseColours(QString::fromLatin1(datagram)).size() > qsizetype(size)) {
        __builtin_trap();
    }
    const std::unique_ptr<QueryConversation> talk = makeConversation(QueryProtocol::Ase);
    talk->firstRequest();
    talk->onDatagram(datagram);
    return 0;
}
