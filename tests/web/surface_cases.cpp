// Prints, for every state and every game, what each surface shows: the preview on the window, the
// gateway's banner and its JSON. The script's test reads this, adds what the web panel shows for
// the same JSON, and checks that all four say the same.
#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <cstdio>

#include "gateway/statusjson.h"
#include "gateway/svgbanner.h"
#include "serverquery/gametypes.h"
#include "tests/support/memorystore.h"
#include "vireo/gamecatalog.h"
#include "vireo/vireocontrol.h"

using namespace tamarin;
using namespace tamarin::gateway;
using State = ServerStatus::State;

namespace {

constexpr int kExpandedTwips = 1155;  // room for two player rows
const QString kHost = QStringLiteral("192.0.2.7");
constexpr quint16 kPort = 27960;

struct Case {
    const char* name;
    State state;
    int players;     // listed with a row each
    bool stale;      // the last good answer, kept through one failed query
    bool knownGame;  // false: the page names a game no one knows
    bool allowed;    // false: the gateway may not ask that server
};

ServerStatus statusOf(const Case& c) {
    ServerStatus status = ServerStatus::withState(c.state);
    if (c.state == State::Online) {
        status.name = QStringLiteral("Vireo Test Arena");
        status.map = QStringLiteral("q3dm17");
        status.players = c.players;
        status.maxPlayers = 16;
        for (int i = 0; i < c.players; ++i) {
            status.rows.append({QStringLiteral("Player %1").arg(i), 10 * i, 40 + i});
        }
    }
    return status;
}

QJsonObject previewOf(const Case& c, const QString& game, MemoryStore& store) {
    VireoControl control(TwipsScale{}, contract::StoredProperties{}, store);
    control.put(dispid::Details, true);
    control.put(dispid::ExpandedHight, kExpandedTwips);
    const GameTypeInfo* type = findGameType(game);
    const QString key = type && type->catalogueKey ? QString::fromUtf8(type->catalogueKey) : game;
    QVariantList args{kHost, QString::number(kPort), game, key, 0, QString()};
    control.call(dispid::ConfigureServer, args);
    if (c.knownGame) {
        control.showStatus(statusOf(c));
        if (c.stale) {
            control.showStatus(ServerStatus::withState(State::NotAnswering));
        }
    }
    const StatusView view = control.view();
    return {{"state", view.stateText},
            {"title", view.title},
            {"summary", view.summary},
            {"more", view.moreText}};
}

// The banner's texts in the order it writes them: state, title, summary, button, headings, more.
QJsonObject bannerOf(const PublishedStatus& published) {
    const QString svg = QString::fromUtf8(bannerSvg(published, {true, 2}));
    static const QRegularExpression text(QStringLiteral("<text[^>]*>([^<]*)</text>"));
    QStringList texts;
    for (const auto& match : text.globalMatch(svg)) {
        texts << match.captured(1).replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    }
    const bool more = texts.size() > 7 && texts.at(7).startsWith(QLatin1Char('+'));
    return {{"state", texts.value(0)},
            {"title", texts.value(1)},
            {"summary", texts.value(2)},
            {"more", more ? texts.at(7) : QString()}};
}

QJsonObject caseOf(const Case& c, const QString& game, MemoryStore& store) {
    const ServerKey key{game, kHost, kPort};
    QJsonObject out{{"case", QString::fromUtf8(c.name)},
                    {"game", game},
                    {"settings", QJsonObject{{"GameType", game},
                                             {"HostName", kHost},
                                             {"HostPort", QString::number(kPort)},
                                             {"Details", "True"},
                                             {"ExpandedHight", QString::number(kExpandedTwips)}}},
                    {"heightPx", kExpandedTwips / 15}};
    QByteArray body;
    int httpStatus = 200;
    if (!c.knownGame) {
        httpStatus = 400;
        body = errorJson(QStringLiteral("unknown game"), QStringLiteral("no such game"));
    } else if (!c.allowed) {
        httpStatus = 403;
        body = errorJson(QStringLiteral("not allowed"), QStringLiteral("not listed"), key);
    } else {
        const PublishedStatus published{key,     statusOf(c), {},
                                        c.stale, 5,           queryPortForGame(game, kPort)};
        body = statusJson(published);
        out.insert("banner", bannerOf(published));
    }
    if (c.allowed) {
        out.insert("preview", previewOf(c, game, store));
    }
    out.insert("reply", QJsonObject{{"status", httpStatus},
                                    {"body", QJsonDocument::fromJson(body).object()}});
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    MemoryStore store;
    GameCatalog::defaults().saveTo(store);
    const Case cases[] = {
        {"online with rows", State::Online, 2, false, true, true},
        {"online with more players than rows", State::Online, 5, false, true, true},
        {"stale", State::Online, 1, true, true, true},
        {"not answering", State::NotAnswering, 0, false, true, true},
        {"refused", State::Refused, 0, false, true, true},
        {"bad address", State::BadAddress, 0, false, true, true},
        {"not allowed", State::Online, 0, false, true, false},
    };
    QJsonArray all;
    // The first catalogue's games, and one game of each other family: what differs between games
    // is their family's (rows with or without numbers) and their query port (Valheim's).
    QSet<QueryProtocol> families;
    for (const GameTypeInfo& type : knownGameTypes()) {
        const bool firstOfFamily = !families.contains(type.protocol);
        families.insert(type.protocol);
        if (!type.catalogueKey && !firstOfFamily && QLatin1String(type.code) != "valheim") {
            continue;
        }
        for (const Case& c : cases) {
            all.append(caseOf(c, QString::fromUtf8(type.code), store));
        }
    }
    all.append(caseOf({"unknown game", State::NotQueried, 0, false, false, true},
                      QStringLiteral("zz"), store));
    std::fputs(QJsonDocument(all).toJson(QJsonDocument::Indented).constData(), stdout);
    return 0;
}
