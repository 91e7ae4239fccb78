// libFuzzer target: A2S replies. The input is read as a run of datagrams, each prefixed with its
// length (one byte), and fed both to the reply parser and, in order, to the split reassembler and
// to a whole query exchange, so challenge rounds and fragment bookkeeping are fuzzed too.
#include <QByteArrayView>
#include <cstddef>
#include <cstdint>

#include "serverquery/gametypes.h"
#include "serverquery/a2sprotocol.h"
#include "serverquery/queryconversation.h"

using namespace tamarin;

namespace {

void checkReply(const A2sReply& reply, size_t size) {
    if (const auto* players = std::get_if<A2sPlayers>(&reply)) {
        // A record takes at least ten bytes: no more rows than the bytes could carry.
        if (players->rows.size() * 10 > qsizetype(size)) {
            __builtin_trap();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView input(reinterpret_cast<const char*>(data), qsizetype(size));
    checkReply(parseA2sReply(input), size);

    A2sSplitAssembler assembler;
    const std::unique_ptr<QueryConversation> talk = makeConversation(QueryProtocol::A2S);
    talk->firstRequest();
    qsizetype at = 0;
    while (at < input.size()) {
        const qsizetype length = std::min<qsizetype>(quint8(input[at]), input.size() - at - 1);
        const QByteArrayView datagram = input.sliced(at + 1, length);
        at += 1 + length;
        if (const std::optional<QByteArray> whole = assembler.add(datagram)) {
            if (whole->size() > qsizetype(size)) {
                __builtin_trap();
            }
            checkReply(parseA2sReply(*whole), whole->size());
        }
        if (assembler.pendingReplies() > A2sSplitAssembler::kMaxPendingReplies) {
            __builtin_trap();
        }
        if (talk->onDatagram(datagram).outcome) {
            break;
        }
    }
    talk->onTimeout();
    return 0;
}
