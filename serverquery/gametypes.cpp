#include "serverquery/gametypes.h"

namespace tamarin {

QList<GameTypeInfo> knownGameTypes() {
    return {
        {"q3", "Quake III Arena", QueryProtocol::Quake3},
        {"oa", "OpenArena", QueryProtocol::Quake3},
        {"et", "Wolfenstein: Enemy Territory", QueryProtocol::Quake3},
        {"hl", "Half-Life (GoldSrc)", QueryProtocol::A2S},
        {"cs", "Counter-Strike", QueryProtocol::A2S},
        {"tf2", "Team Fortress 2", QueryProtocol::A2S},
        {"cs2", "Counter-Strike 2", QueryProtocol::A2S},
        {"source", "Other Source engine game", QueryProtocol::A2S},
    };
}

QueryProtocol protocolForGameType(const QString& code) {
    const QString wanted = code.trimmed();
    for (const GameTypeInfo& type : knownGameTypes()) {
        if (wanted.compare(QLatin1String(type.code), Qt::CaseInsensitive) == 0) {
            return type.protocol;
        }
    }
    return QueryProtocol::None;
}

}  // namespace tamarin
