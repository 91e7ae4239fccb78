#include "serverquery/gametypes.h"

#include <array>

namespace tamarin {

namespace {

using P = QueryProtocol;
using Q = QueryPortRule;

constexpr GameTypeInfo game(const char* code, const char* name, P protocol, quint16 port,
                            Q query = Q::gamePort(), const char* catalogueKey = nullptr) {
    return {code, name, protocol, port, query, catalogueKey};
}

// The default ports, and where each fact comes from, are listed in docs/games.md; a change here
// belongs there too. Codes are the lower-case ids of the largest public game table, except the
// first ten, which the control has always used.
constexpr std::array kGames{
    // The first catalogue, under the keys it has always had.
    game("q3", "Quake III Arena", P::Quake3, 27960, Q::gamePort(), "q3a"),
    game("oa", "OpenArena", P::Quake3, 27960, Q::gamePort(), "oa"),
    game("et", "Wolfenstein: Enemy Territory", P::Quake3, 27960, Q::gamePort(), "et"),
    game("hl", "Half-Life", P::A2S, 27015, Q::gamePort(), "hl"),
    game("cs", "Counter-Strike", P::A2S, 27015, Q::gamePort(), "cs"),
    game("tf2", "Team Fortress 2", P::A2S, 27015, Q::gamePort(), "tf2"),
    game("cs2", "Counter-Strike 2", P::A2S, 27015, Q::gamePort(), "cs2"),
    game("source", "Other Source engine game", P::A2S, 27015),
    game("minecraft", "Minecraft: Java Edition", P::MinecraftJava, 25565, Q::gamePort(),
         "minecraft"),
    game("mbe", "Minecraft: Bedrock Edition", P::Bedrock, 19132, Q::gamePort(), "mbe"),

    // Valve's A2S: today's self-hosted games, many on a query port of their own.
    game("abioticfactor", "Abiotic Factor", P::A2S, 27015),
    game("ase", "ARK: Survival Evolved", P::A2S, 7777, Q::fixed(27015)),
    game("arma2", "Arma 2", P::A2S, 2302, Q::offset(1)),
    game("a2oa", "Arma 2: Operation Arrowhead", P::A2S, 2302, Q::offset(1)),
    game("arma3", "Arma 3", P::A2S, 2302, Q::offset(1)),
    game("armareforger", "Arma Reforger", P::A2S, 2001, Q::fixed(17777)),
    game("avorion", "Avorion", P::A2S, 27000, Q::offset(20)),
    game("barotrauma", "Barotrauma", P::A2S, 27015, Q::offset(1)),
    game("battalion1944", "Battalion 1944", P::A2S, 7777, Q::offset(3)),
    game("blackmesa", "Black Mesa", P::A2S, 27015),
    game("brainbread2", "BrainBread 2", P::A2S, 27015),
    game("cmw", "Chivalry: Medieval Warfare", P::A2S, 7777, Q::offset(2)),
    game("conanexiles", "Conan Exiles", P::A2S, 7777, Q::fixed(27015)),
    game("corekeeper", "Core Keeper", P::A2S, 1234, Q::offset(1)),
    game("css", "Counter-Strike: Source", P::A2S, 27015),
    game("csgo", "Counter-Strike: Global Offensive", P::A2S, 27015),
    game("dal", "Dark and Light", P::A2S, 7777, Q::fixed(27015)),
    game("dayz", "DayZ", P::A2S, 2302, Q::fixed(27016)),
    game("dayzmod", "DayZ Mod", P::A2S, 2302, Q::offset(1)),
    game("dod", "Day of Defeat", P::A2S, 27015),
    game("dods", "Day of Defeat: Source", P::A2S, 27015),
    game("doi", "Day of Infamy", P::A2S, 27015),
    game("dst", "Don't Starve Together", P::A2S, 10999, Q::fixed(27016)),
    game("egs", "Empyrion - Galactic Survival", P::A2S, 30000, Q::offset(1)),
    game("enshrouded", "Enshrouded", P::A2S, 15636, Q::fixed(15637)),
    game("ets2", "Euro Truck Simulator 2", P::A2S, 27015, Q::offset(1)),
    game("fof", "Fistful of Frags", P::A2S, 27015),
    game("garrysmod", "Garry's Mod", P::A2S, 27015),
    game("hl2d", "Half-Life 2: Deathmatch", P::A2S, 27015),
    game("hll", "Hell Let Loose", P::A2S, 27015),
    game("hurtworld", "Hurtworld", P::A2S, 12871, Q::fixed(12881)),
    game("icarus", "Icarus", P::A2S, 27015),
    game("insurgency", "Insurgency", P::A2S, 27015),
    game("insurgencysandstorm", "Insurgency: Sandstorm", P::A2S, 27015, Q::offset(1)),
    game("killingfloor2", "Killing Floor 2", P::A2S, 7777, Q::fixed(27015)),
    game("l4d", "Left 4 Dead", P::A2S, 27015),
    game("l4d2", "Left 4 Dead 2", P::A2S, 27015),
    game("medievalengineers", "Medieval Engineers", P::A2S, 27015),
    game("mordhau", "Mordhau", P::A2S, 7777, Q::fixed(27015)),
    game("nmrih", "No More Room in Hell", P::A2S, 27015),
    game("ohd", "Operation: Harsh Doorstop", P::A2S, 7777, Q::fixed(27005)),
    game("pixark", "PixARK", P::A2S, 7777, Q::fixed(27015)),
    game("postscriptum", "Post Scriptum", P::A2S, 10037),
    game("projectzomboid", "Project Zomboid", P::A2S, 16261),
    game("quakelive", "Quake Live", P::A2S, 27960),
    game("redorchestra2", "Red Orchestra 2", P::A2S, 7777, Q::fixed(27015)),
    game("risingworld", "Rising World", P::A2S, 4255, Q::offset(-1)),
    game("ror2", "Risk of Rain 2", P::A2S, 27015, Q::offset(1)),
    game("rs2v", "Rising Storm 2: Vietnam", P::A2S, 27015),
    game("rust", "Rust", P::A2S, 28015),
    game("sdtd", "7 Days to Die", P::A2S, 26900, Q::offset(1)),
    game("sotf", "Sons of the Forest", P::A2S, 8766, Q::fixed(27016)),
    game("soulmask", "Soulmask", P::A2S, 8777, Q::fixed(27015)),
    game("spaceengineers", "Space Engineers", P::A2S, 27015),
    game("squad", "Squad", P::A2S, 7787, Q::fixed(27165)),
    game("starbound", "Starbound", P::A2S, 21025),
    game("svencoop", "Sven Co-op", P::A2S, 27015),
    game("tfc", "Team Fortress Classic", P::A2S, 27015),
    game("theforest", "The Forest", P::A2S, 27015, Q::offset(1)),
    game("thefront", "The Front", P::A2S, 27015),
    game("theisle", "The Isle", P::A2S, 7707, Q::offset(1)),
    game("unturned", "Unturned", P::A2S, 27015, Q::offset(1)),
    game("valheim", "Valheim", P::A2S, 2456, Q::offset(1)),
    game("vrising", "V Rising", P::A2S, 9876, Q::offset(1)),
    game("wurmunlimited", "Wurm Unlimited", P::A2S, 3724, Q::fixed(27016)),
    game("zps", "Zombie Panic! Source", P::A2S, 27015),

    // The Quake III family's other games.
    game("cod", "Call of Duty", P::Quake3, 28960),
    game("coduo", "Call of Duty: United Offensive", P::Quake3, 28960),
    game("cod2", "Call of Duty 2", P::Quake3, 28960),
    game("cod4mw", "Call of Duty 4: Modern Warfare", P::Quake3, 28960),
    game("codwaw", "Call of Duty: World at War", P::Quake3, 28960),
    game("nexuiz", "Nexuiz", P::Quake3, 26000),
    game("rtcw", "Return to Castle Wolfenstein", P::Quake3, 27960),
    game("sof2", "Soldier of Fortune II", P::Quake3, 20100),
    game("swjk2jo", "Star Wars Jedi Knight II: Jedi Outcast", P::Quake3, 28070),
    game("swjkja", "Star Wars Jedi Knight: Jedi Academy", P::Quake3, 29070),
    game("tremulous", "Tremulous", P::Quake3, 30720),
    game("urbanterror", "Urban Terror", P::Quake3, 27960),

    // GameSpy 1: the Unreal engine's first games, Battlefield 1942, Medal of Honor and more.
    game("acwa", "Arma: Cold War Assault", P::GameSpy1, 2302, Q::offset(1)),
    game("avp2", "Aliens versus Predator 2", P::GameSpy1, 27888),
    game("battlefield1942", "Battlefield 1942", P::GameSpy1, 14567, Q::fixed(23000)),
    game("cacr", "Command & Conquer: Renegade", P::GameSpy1, 4848, Q::fixed(25300)),
    game("deusex", "Deus Ex", P::GameSpy1, 7791, Q::offset(1)),
    game("hiddendangerous2", "Hidden & Dangerous 2", P::GameSpy1, 11001, Q::offset(3)),
    game("kloc", "Kingpin: Life of Crime", P::GameSpy1, 31510, Q::offset(-10)),
    game("mohaa", "Medal of Honor: Allied Assault", P::GameSpy1, 12203, Q::offset(97)),
    game("mohaab", "Medal of Honor: Allied Assault Breakthrough", P::GameSpy1, 12203,
         Q::offset(97)),
    game("mohaas", "Medal of Honor: Allied Assault Spearhead", P::GameSpy1, 12203, Q::offset(97)),
    game("mohpa", "Medal of Honor: Pacific Assault", P::GameSpy1, 13203, Q::offset(97)),
    game("ofcwc", "Operation Flashpoint: Cold War Crisis", P::GameSpy1, 2302, Q::offset(1)),
    game("ofr", "Operation Flashpoint: Resistance", P::GameSpy1, 2302, Q::offset(1)),
    game("postal2", "Postal 2", P::GameSpy1, 7777, Q::offset(1)),
    game("roo4145", "Red Orchestra: Ostfront 41-45", P::GameSpy1, 7757, Q::offset(10)),
    game("rs3rs", "Rainbow Six 3: Raven Shield", P::GameSpy1, 7777, Q::offset(1000)),
    game("rune", "Rune", P::GameSpy1, 7777, Q::offset(1)),
    game("serioussam", "Serious Sam", P::GameSpy1, 25600, Q::offset(1)),
    game("sof", "Soldier of Fortune", P::GameSpy1, 28910, Q::offset(1)),
    game("sstse", "Serious Sam: The Second Encounter", P::GameSpy1, 25600, Q::offset(1)),
    game("tacticalops", "Tactical Ops", P::GameSpy1, 7777, Q::offset(1)),
    game("unreal", "Unreal", P::GameSpy1, 7777, Q::offset(1)),
    game("unrealtournament", "Unreal Tournament", P::GameSpy1, 7777, Q::offset(1)),
    game("vietcong", "Vietcong", P::GameSpy1, 5425, Q::fixed(15425)),
    game("wot", "The Wheel of Time", P::GameSpy1, 7777, Q::offset(1)),

    // GameSpy 2.
    game("aaa", "Arma: Armed Assault", P::GameSpy2, 2302),
    game("americasarmy", "America's Army", P::GameSpy2, 1716, Q::offset(1)),
    game("americasarmy2", "America's Army 2", P::GameSpy2, 1716, Q::offset(1)),
    game("battlefieldvietnam", "Battlefield Vietnam", P::GameSpy2, 15567, Q::fixed(23000)),
    game("halo", "Halo", P::GameSpy2, 2302),
    game("halo2", "Halo 2", P::GameSpy2, 2302),
    game("serioussam2", "Serious Sam 2", P::GameSpy2, 25600),
    game("swat4", "SWAT 4", P::GameSpy2, 10480, Q::offset(2)),
    game("swrc", "Star Wars: Republic Commando", P::GameSpy2, 7777, Q::fixed(11138)),
    game("tribesvengeance", "Tribes: Vengeance", P::GameSpy2, 7777, Q::offset(1)),
    game("vietcong2", "Vietcong 2", P::GameSpy2, 5001, Q::fixed(19967)),

    // GameSpy 3.
    game("battlefield2", "Battlefield 2", P::GameSpy3, 16567, Q::fixed(29900)),
    game("battlefield2142", "Battlefield 2142", P::GameSpy3, 16567, Q::fixed(29900)),
    game("crysis", "Crysis", P::GameSpy3, 64087),
    game("crysis2", "Crysis 2", P::GameSpy3, 64000),
    game("crysiswars", "Crysis Wars", P::GameSpy3, 64100),
    game("prb2", "Project Reality: Battlefield 2", P::GameSpy3, 16567, Q::fixed(29900)),
    game("stalker", "S.T.A.L.K.E.R.", P::GameSpy3, 5445, Q::offset(2)),

    // Unreal 2: the UT2004 family.
    game("devastation", "Devastation", P::Unreal2, 7777, Q::offset(1)),
    game("dhe4445", "Darkest Hour: Europe '44-'45", P::Unreal2, 7757, Q::offset(1)),
    game("killingfloor", "Killing Floor", P::Unreal2, 7707, Q::offset(1)),
    game("redorchestra", "Red Orchestra", P::Unreal2, 7758, Q::offset(1)),
    game("u2tax", "Unreal 2: The Awakening - XMP", P::Unreal2, 7777, Q::offset(1)),
    game("unrealtournament2003", "Unreal Tournament 2003", P::Unreal2, 7757, Q::offset(1)),
    game("unrealtournament2004", "Unreal Tournament 2004", P::Unreal2, 7777, Q::offset(1)),

    // All-Seeing Eye: Multi Theft Auto, Far Cry and others, on the game port + 123.
    game("chaser", "Chaser", P::Ase, 3000, Q::offset(123)),
    game("chrome", "Chrome", P::Ase, 27015, Q::offset(123)),
    game("crce", "Cross Racing Championship Extreme", P::Ase, 12321, Q::offset(123)),
    game("farcry", "Far Cry", P::Ase, 49001, Q::offset(123)),
    game("gtasamta", "Grand Theft Auto: San Andreas - Multi Theft Auto", P::Ase, 22003,
         Q::offset(123)),
    game("gtavcmta", "Grand Theft Auto: Vice City - Multi Theft Auto", P::Ase, 22003,
         Q::offset(123)),
    game("painkiller", "Painkiller", P::Ase, 3455, Q::offset(123)),
    game("soldat", "Soldat", P::Ase, 13073, Q::offset(123)),
    game("universalcombat", "Universal Combat", P::Ase, 1135, Q::offset(123)),
    game("xpandrally", "Xpand Rally", P::Ase, 28015, Q::offset(123)),
};

constexpr std::array kAliases{
    // The public table's ids for the control's own first games.
    GameTypeAlias{"q3a", "q3"},
    GameTypeAlias{"quake3", "q3"},
    GameTypeAlias{"openarena", "oa"},
    GameTypeAlias{"wet", "et"},
    GameTypeAlias{"wolfensteinet", "et"},
    GameTypeAlias{"hld", "hl"},
    GameTypeAlias{"hldm", "hl"},
    GameTypeAlias{"counterstrike16", "cs"},
    GameTypeAlias{"cs16", "cs"},
    GameTypeAlias{"teamfortress2", "tf2"},
    GameTypeAlias{"counterstrike2", "cs2"},
    GameTypeAlias{"minecraftbe", "mbe"},
    // The table's older ids.
    GameTypeAlias{"arkse", "ase"},
    GameTypeAlias{"7d2d", "sdtd"},
    GameTypeAlias{"armare", "armareforger"},
    GameTypeAlias{"chivalry", "cmw"},
    GameTypeAlias{"dnl", "dal"},
    GameTypeAlias{"empyrion", "egs"},
    GameTypeAlias{"forrest", "theforest"},
    GameTypeAlias{"hl2dm", "hl2d"},
    GameTypeAlias{"isle", "theisle"},
    GameTypeAlias{"left4dead", "l4d"},
    GameTypeAlias{"left4dead2", "l4d2"},
    GameTypeAlias{"ps", "postscriptum"},
    GameTypeAlias{"przomboid", "projectzomboid"},
    GameTypeAlias{"rs2", "rs2v"},
    GameTypeAlias{"sonsoftheforest", "sotf"},
    GameTypeAlias{"wurm", "wurmunlimited"},
    GameTypeAlias{"cod4", "cod4mw"},
    GameTypeAlias{"armacwa", "acwa"},
    GameTypeAlias{"bf1942", "battlefield1942"},
    GameTypeAlias{"cacrenegade", "cacr"},
    GameTypeAlias{"had2", "hiddendangerous2"},
    GameTypeAlias{"kingpin", "kloc"},
    GameTypeAlias{"mohsh", "mohaas"},
    GameTypeAlias{"mohbt", "mohaab"},
    GameTypeAlias{"flashpointresistance", "ofr"},
    GameTypeAlias{"redorchestraost", "roo4145"},
    GameTypeAlias{"r6ravenshield", "rs3rs"},
    GameTypeAlias{"ss", "serioussam"},
    GameTypeAlias{"ut", "unrealtournament"},
    GameTypeAlias{"wheeloftime", "wot"},
    GameTypeAlias{"arma", "aaa"},
    GameTypeAlias{"bfv", "battlefieldvietnam"},
    GameTypeAlias{"ss2", "serioussam2"},
    GameTypeAlias{"bf2", "battlefield2"},
    GameTypeAlias{"bf2142", "battlefield2142"},
    GameTypeAlias{"prbf2", "prb2"},
    GameTypeAlias{"darkesthour", "dhe4445"},
    GameTypeAlias{"ut2003", "unrealtournament2003"},
    GameTypeAlias{"ut2004", "unrealtournament2004"},
    GameTypeAlias{"crossracing", "crce"},
    GameTypeAlias{"mtasa", "gtasamta"},
    GameTypeAlias{"mtavc", "gtavcmta"},
};

const GameTypeInfo* findByCode(const QString& code) {
    for (const GameTypeInfo& type : kGames) {
        if (code.compare(QLatin1String(type.code), Qt::CaseInsensitive) == 0) {
            return &type;
        }
    }
    return nullptr;
}

}  // namespace

quint16 QueryPortRule::queryPortFor(quint16 gamePort) const {
    switch (kind) {
        case Kind::GamePort:
            break;
        case Kind::Offset: {
            const int port = int(gamePort) + value;
            return port >= 1 && port <= 65535 ? quint16(port) : gamePort;
        }
        case Kind::Fixed:
            return quint16(value);
    }
    return gamePort;
}

QList<GameTypeInfo> knownGameTypes() {
    return {kGames.begin(), kGames.end()};
}

QList<GameTypeAlias> gameTypeAliases() {
    return {kAliases.begin(), kAliases.end()};
}

const GameTypeInfo* findGameType(const QString& code) {
    const QString wanted = code.trimmed();
    if (const GameTypeInfo* type = findByCode(wanted)) {
        return type;
    }
    for (const GameTypeAlias& alias : kAliases) {
        if (wanted.compare(QLatin1String(alias.alias), Qt::CaseInsensitive) == 0) {
            return findByCode(QString::fromLatin1(alias.code));
        }
    }
    return nullptr;
}

QString canonicalGameCode(const QString& code) {
    const GameTypeInfo* type = findGameType(code);
    return type ? QString::fromUtf8(type->code) : code.trimmed();
}

QueryProtocol protocolForGameType(const QString& code) {
    const GameTypeInfo* type = findGameType(code);
    return type ? type->protocol : QueryProtocol::None;
}

QString gameDisplayName(const QString& code) {
    const GameTypeInfo* type = findGameType(code);
    return type ? QString::fromUtf8(type->name) : code.trimmed();
}

quint16 queryPortForGame(const QString& code, quint16 gamePort) {
    const GameTypeInfo* type = findGameType(code);
    return type ? type->queryPort.queryPortFor(gamePort) : gamePort;
}

const char* protocolName(QueryProtocol protocol) {
    switch (protocol) {
        case QueryProtocol::Quake3:
            return "Quake III";
        case QueryProtocol::A2S:
            return "Valve A2S";
        case QueryProtocol::Bedrock:
            return "Minecraft Bedrock (RakNet ping)";
        case QueryProtocol::MinecraftJava:
            return "Minecraft Java (server list ping)";
        case QueryProtocol::GameSpy1:
            return "GameSpy 1";
        case QueryProtocol::GameSpy2:
            return "GameSpy 2";
        case QueryProtocol::GameSpy3:
            return "GameSpy 3";
        case QueryProtocol::Unreal2:
            return "Unreal 2";
        case QueryProtocol::Ase:
            return "All-Seeing Eye";
        case QueryProtocol::None:
            break;
    }
    return "";
}

}  // namespace tamarin
