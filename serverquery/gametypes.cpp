#include "serverquery/gametypes.h"

#include <array>

namespace tamarin {

namespace {

constexpr std::array kGames{
    GameTypeInfo{"q3", "Quake III Arena", QueryProtocol::Quake3, 27960, "q3a"},
    GameTypeInfo{"oa", "OpenArena", QueryProtocol::Quake3, 27960, "oa"},
    GameTypeInfo{"et", "Wolfenstein: Enemy Territory", QueryProtocol::Quake3, 27960, "et"},
    GameTypeInfo{"hl", "Half-Life", QueryProtocol::A2S, 27015, "hl"},
    GameTypeInfo{"cs", "Counter-Strike", QueryProtocol::A2S, 27015, "cs"},
    GameTypeInfo{"tf2", "Team Fortress 2", QueryProtocol::A2S, 27015, "tf2"},
    GameTypeInfo{"cs2", "Counter-Strike 2", QueryProtocol::A2S, 27015, "cs2"},
    GameTypeInfo{"source", "Other Source engine game", QueryProtocol::A2S, 27015, nullptr},
    GameTypeInfo{"minecraft", "Minecraft: Java Edition", QueryProtocol::MinecraftJava, 25565,
                 "minecraft"},
    GameTypeInfo{"mbe", "Minecraft: Bedrock Edition", QueryProtocol::Bedrock, 19132, "mbe"},
};

}  // namespace

QList<GameTypeInfo> knownGameTypes() {
    return {kGames.begin(), kGames.end()};
}

const GameTypeInfo* findGameType(const QString& code) {
    const QString wanted = code.trimmed();
    for (const GameTypeInfo& type : kGames) {
        if (wanted.compare(QLatin1String(type.code), Qt::CaseInsensitive) == 0) {
            return &type;
        }
    }
    return nullptr;
}

QueryProtocol protocolForGameType(const QString& code) {
    const GameTypeInfo* type = findGameType(code);
    return type ? type->protocol : QueryProtocol::None;
}

QString gameDisplayName(const QString& code) {
    const GameTypeInfo* type = findGameType(code);
    return type ? QString::fromUtf8(type->name) : code.trimmed();
}

}  // namespace tamarin
