#pragma once

#include <cstddef>

#include "serverquery/serverstatus.h"

namespace tamarin {

// What a parser made of `size` bytes must be usable as it is: nothing negative, nothing larger
// than the input. Anything else stops the fuzzer.
inline void checkStatus(const ServerStatus& status, size_t size) {
    if (status.players < 0 || status.maxPlayers < 0 || status.rows.size() > qsizetype(size)) {
        __builtin_trap();
    }
    for (const PlayerRow& row : status.rows) {
        if (row.name.size() > qsizetype(size) || row.ping < 0) {
            __builtin_trap();
        }
    }
}

}  // namespace tamarin
