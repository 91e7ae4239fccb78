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

}  // namespace

QString stateName(ServerStatus::State state) {
    // A published status is the end of a query: one still to come reads as no answer yet.
    const bool answered =
        state != ServerStatus::State::NotQueried && state != ServerStatus::State::Querying;
    return ServerStatus::stateText(answered ? state : ServerStatus::State::NotAnswering);
}

QByteArray statusJson(const PublishedStatus& published) {
    const ServerStatus& status = published.status;
    const bool online = status.state == ServerStatus::State::Online;
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
        {QStringLiteral("queriedAt"), published.queriedAt.toUTC().toString(Qt::ISODate)},
        {QStringLiteral("stale"), published.stale},
        {QStringLiteral("minRefresh"), published.minRefreshSeconds},
    };
    return QJsonDocument(json).toJson(QJsonDocument::Compact);
}

QByteArray errorJson(const QString& state, const QString& message) {
    const QJsonObject json{{QStringLiteral("error"), message}, {QStringLiteral("state"), state}};
    return QJsonDocument(json).toJson(QJsonDocument::Compact);
}

QByteArray etagOf(const QByteArray& body) {
    const QByteArray hash = QCryptographicHash::hash(body, QCryptographicHash::Sha256);
    return '"' + hash.left(12).toBase64(QByteArray::Base64UrlEncoding) + '"';
}

}  // namespace tamarin::gateway
