#include "gateway/statusjson.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "gateway/text.h"

namespace tamarin::gateway {

namespace {

QJsonArray rowsJson(const QList<PlayerRow>& rows) {
    QJsonArray array;
    for (const PlayerRow& row : rows) {
        array.append(QJsonObject{{QStringLiteral("name"), cleanServerText(row.name)},
                                 {QStringLiteral("score"), row.score},
                                 {QStringLiteral("ping"), row.ping}});
    }
    return array;
}

// A published status is the end of a query: one still to come reads as no answer yet.
ServerStatus::State publishedState(ServerStatus::State state) {
    const bool answered =
        state != ServerStatus::State::NotQueried && state != ServerStatus::State::Querying;
    return answered ? state : ServerStatus::State::NotAnswering;
}

ServerStatus cleaned(ServerStatus status) {
    status.name = cleanServerText(status.name);
    status.map = cleanServerText(status.map);
    for (PlayerRow& row : status.rows) {
        row.name = cleanServerText(row.name);
    }
    return status;
}

QString toneName(StatusTone tone) {
    switch (tone) {
        case StatusTone::Online:
            return QStringLiteral("online");
        case StatusTone::Trouble:
            return QStringLiteral("trouble");
        case StatusTone::Dim:
            break;
    }
    return QStringLiteral("dim");
}

// The words a page shows, made here so that the panel never words a status itself.
void addWords(QJsonObject& json, const StatusView& view) {
    json.insert(QStringLiteral("stateText"), view.stateText);
    json.insert(QStringLiteral("tone"), toneName(view.tone));
    json.insert(QStringLiteral("title"), view.title);
    json.insert(QStringLiteral("gameName"), view.gameName);
    json.insert(QStringLiteral("summary"), view.summary);
}

}  // namespace

QString stateName(ServerStatus::State state) {
    return stateWords(publishedState(state));
}

QString addressText(const ServerKey& key) {
    const QString host = key.host.contains(QLatin1Char(':'))
                             ? QLatin1Char('[') + key.host + QLatin1Char(']')
                             : key.host;
    return host + QLatin1Char(':') + QString::number(key.port);
}

StatusView viewOf(const PublishedStatus& published, int rows) {
    StatusFacts facts;
    facts.status = cleaned(published.status);
    facts.status.state = publishedState(published.status.state);
    facts.gameType = published.key.game;
    facts.address = addressText(published.key);
    facts.stale = published.stale;
    facts.gamePort = published.key.port;
    facts.queriedPort = published.queriedPort;
    return describeStatus(facts, rows);
}

QByteArray statusJson(const PublishedStatus& published) {
    const ServerStatus& status = published.status;
    const bool online = status.state == ServerStatus::State::Online;
    const StatusView view = viewOf(published, 0);
    QJsonObject json{
        {QStringLiteral("game"), published.key.game},
        {QStringLiteral("host"), published.key.host},
        {QStringLiteral("port"), published.key.port},
        {QStringLiteral("state"), stateName(status.state)},
        {QStringLiteral("name"), online ? cleanServerText(status.name) : QString()},
        {QStringLiteral("map"), online ? cleanServerText(status.map) : QString()},
        {QStringLiteral("players"), online ? status.players : 0},
        {QStringLiteral("maxPlayers"), online ? status.maxPlayers : 0},
        {QStringLiteral("rows"), online ? rowsJson(status.rows) : QJsonArray()},
        {QStringLiteral("rowsLeftOut"), online ? status.rowsLeftOut : 0},
        {QStringLiteral("rowNumbers"), view.rowNumbers},
        // Its picture is served apart, at icon.png with the same query.
        {QStringLiteral("icon"), !view.icon.isEmpty()},
        {QStringLiteral("queriedAt"), published.queriedAt.toUTC().toString(Qt::ISODate)},
        {QStringLiteral("stale"), published.stale},
        {QStringLiteral("minRefresh"), published.minRefreshSeconds},
    };
    if (!view.reason.isEmpty()) {
        json.insert(QStringLiteral("reason"), view.reason);
    }
    if (online && status.latencyMs >= 0) {
        json.insert(QStringLiteral("latencyMs"), status.latencyMs);
    }
    addWords(json, view);
    return QJsonDocument(json).toJson(QJsonDocument::Compact);
}

QByteArray errorJson(const QString& state, const QString& message, const ServerKey& key) {
    QJsonObject json{{QStringLiteral("error"), message}, {QStringLiteral("state"), state}};
    StatusFacts facts;
    facts.gameType = key.game;
    facts.address = key.host.isEmpty() ? QString() : addressText(key);  // a request with no server
    if (state == QLatin1String("unknown game")) {
        facts.refusal = StatusFacts::Refusal::UnknownGame;
    } else if (state == QLatin1String("not allowed")) {
        facts.refusal = StatusFacts::Refusal::NotAllowed;
    } else {
        facts.status.state = ServerStatus::State::BadAddress;  // a request the page got wrong
    }
    addWords(json, describeStatus(facts, 0));
    return QJsonDocument(json).toJson(QJsonDocument::Compact);
}

QByteArray etagOf(const QByteArray& body) {
    const QByteArray hash = QCryptographicHash::hash(body, QCryptographicHash::Sha256);
    return '"' + hash.left(12).toBase64(QByteArray::Base64UrlEncoding) + '"';
}

}  // namespace tamarin::gateway
