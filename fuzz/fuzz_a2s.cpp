// libFuzzer target: A2S replies. The input is read as a run of datagrams, each prefixed with its
// length (two bytes, little-endian; FFFF takes the rest of the input, so one datagram can be
// larger than 64 KiB), and fed both to the reply parser and, in order, to the split reassembler
// and to a whole query exchange, so challenge rounds, fragment bookkeeping and the size limits are
// fuzzed too. Run with a large -max_len and without length control (-max_len=200000
// -len_control=0) to reach the limits soon.
#include <QByteArrayView>
#include <cstddef>
#include <cstdint>

#include "serverquery/a2sprotocol.h"
#include "serverquery/gametypes.h"
#include "serverquery/queryconversation.h"

using namespace tamarin;

namespace {

constexpr qsizetype kLengthBytes = 2;
constexpr qsizetype kRestOfInput = 0xFFFF;

// The next datagram at `at`, and moves `at` past it.
QByteArrayView nextDatagram(QByteArrayView input, qsizetype& at) {
    const qsizetype available = input.size() - at - kLengthBytes;
    if (available < 0) {
        at = input.size();
        return {};
    }
    const qsizetype asked = quint8(input[at]) | (qsizetype(quint8(input[at + 1])) << 8);
    const qsizetype length = asked == kRestOfInput ? available : std::min(asked, available);
    const QByteArrayView datagram = input.sliced(at + kLengthBytes, length);
    at += kLengthBytes + length;
    return datagram;
}

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
        const QByteArrayView datagram = nextDatagram(input, at);
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
