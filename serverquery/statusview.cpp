#include "serverquery/statusview.h"

#include <QStringList>
#include <algorithm>

#include "serverquery/gametypes.h"

namespace tamarin {

namespace {

using State = ServerStatus::State;

QString stateTextOf(const StatusFacts& facts) {
    switch (facts.refusal) {
        case StatusFacts::Refusal::UnknownGame:
            return QString::fromUtf8(words::kUnknownGame);
        case StatusFacts::Refusal::NotAllowed:
            return QString::fromUtf8(words::kNotAllowed);
        case StatusFacts::Refusal::None:
            break;
    }
    if (facts.status.state == State::Online && facts.stale) {
        return QString::fromUtf8(words::kStale);
    }
    return stateWords(facts.status.state);
}

StatusTone toneOf(const StatusFacts& facts) {
    if (facts.refusal != StatusFacts::Refusal::None) {
        return StatusTone::Trouble;
    }
    switch (facts.status.state) {
        case State::Online:
            return facts.stale ? StatusTone::Dim : StatusTone::Online;  // shown, not good news
        case State::NotAnswering:
        case State::Refused:
        case State::BadAddress:
            return StatusTone::Trouble;
        case State::NotQueried:
        case State::Querying:
            break;
    }
    return StatusTone::Dim;
}

QString word(const char* text) {
    return QString::fromUtf8(text);
}

// The hint that another port answers for this game, when the table says so.
QString queryPortHint(const StatusFacts& facts, const QString& gameName) {
    const quint16 expected = queryPortForGame(facts.gameType, facts.gamePort);
    if (facts.gamePort == 0 || expected == facts.queriedPort) {
        return {};
    }
    return word(words::kQueryPortHint).arg(gameName, QString::number(expected));
}

QString reasonOf(const StatusFacts& facts, const QString& gameName) {
    if (facts.refusal != StatusFacts::Refusal::None || facts.queriedPort == 0) {
        return {};
    }
    QString reason;
    switch (facts.status.state) {
        case State::NotAnswering:
            reason = facts.status.failure == ServerStatus::Failure::AnsweredOtherwise
                         ? word(words::kAnsweredOtherwise).arg(gameName)
                         : word(words::kNoAnswerOn).arg(facts.queriedPort);
            break;
        case State::Refused:
            reason = word(words::kRefusedReason);
            break;
        case State::BadAddress:
            return facts.status.failure == ServerStatus::Failure::HostNotFound
                       ? word(words::kHostNotFound)
                       : QString();
        default:
            return {};
    }
    const QString hint = queryPortHint(facts, gameName);
    return hint.isEmpty() ? reason : reason + word(words::kReasonSeparator) + hint;
}

QString summaryOf(const StatusFacts& facts, const QString& gameName, bool online) {
    QStringList parts;
    if (online) {
        const ServerStatus& s = facts.status;
        parts << (s.map.isEmpty() ? QString::fromUtf8(words::kNoMap) : s.map);
        parts << QString::fromUtf8(words::kPlayers).arg(s.players).arg(s.maxPlayers);
    }
    if (!gameName.isEmpty()) {
        parts << gameName;
    }
    if (online) {
        parts << facts.address;
    }
    return parts.join(QString::fromUtf8(words::kSeparator));
}

}  // namespace

QString stateWords(State state) {
    switch (state) {
        case State::NotQueried:
            return QStringLiteral("not queried yet");
        case State::Querying:
            return QStringLiteral("querying\u2026");
        case State::Online:
            return QStringLiteral("online");
        case State::NotAnswering:
            return QStringLiteral("not answering");
        case State::Refused:
            return QStringLiteral("refused");
        case State::BadAddress:
            return QStringLiteral("bad address");
    }
    return {};
}

StatusView describeStatus(const StatusFacts& facts, int rowsThatFit) {
    const bool online =
        facts.refusal == StatusFacts::Refusal::None && facts.status.state == State::Online;
    StatusView view;
    view.stateText = stateTextOf(facts);
    view.tone = toneOf(facts);
    view.title = online && !facts.status.name.isEmpty() ? facts.status.name : facts.address;
    view.gameName = facts.gameName.isEmpty() ? gameDisplayName(facts.gameType) : facts.gameName;
    view.summary = summaryOf(facts, view.gameName, online);
    view.reason = reasonOf(facts, view.gameName);
    if (!view.reason.isEmpty()) {
        // The reason first: where the line is cut short, the game's name is what goes.
        view.summary = view.reason + word(words::kSeparator) + view.summary;
    }
    const int kept = online ? int(facts.status.rows.size()) : 0;
    const int listed = online ? kept + std::max(0, facts.status.rowsLeftOut) : 0;
    const int shown = std::clamp(rowsThatFit, 0, kept);
    view.rows = facts.status.rows.mid(0, shown);
    view.rowNumbers = !online || facts.status.rowsHaveNumbers;
    view.icon = online ? facts.status.icon : QByteArray();
    view.moreRows = shown > 0 ? listed - shown : 0;
    if (view.moreRows > 0) {
        view.moreText = QString::fromUtf8(words::kMoreRows).arg(view.moreRows);
    }
    return view;
}

}  // namespace tamarin
