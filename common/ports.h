#pragma once

#include <QtGlobal>

// The ports a game server can be reached at: a UDP port number, 0 (any port) excluded.
namespace tamarin {

inline constexpr qint32 kLowestPort = 1;
inline constexpr qint32 kHighestPort = 65535;

constexpr bool isPortNumber(qint64 port) {
    return port >= kLowestPort && port <= kHighestPort;
}

}  // namespace tamarin
