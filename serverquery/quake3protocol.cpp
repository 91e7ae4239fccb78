#include "serverquery/quake3protocol.h"

#include <QList>
#include <algorithm>
#include <limits>

#include "serverquery/servertext.h"

namespace tamarin {

namespace {

constexpr QByteArrayView kRequest("\xFF\xFF\xFF\xFFgetstatus\n");
constexpr QByteArrayView kReplyHeader("\xFF\xFF\xFF\xFFstatusResponse");

QList<QByteArrayView> splitView(QByteArrayView bytes, char separator) {
    QList<QByteArrayView> parts;
    qsizetype start = 0;
    for (qsizetype end = bytes.indexOf(separator); end >= 0;
         end = bytes.indexOf(separator, start)) {
        parts.append(bytes.sliced(start, end - start));
        start = end + 1;
    }
    parts.append(bytes.sliced(start));
    return parts;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

void skipBlanks(QByteArrayView line, qsizetype& pos) {
    while (pos < line.size() && isBlank(line[pos])) {
        ++pos;
    }
}

// A decimal integer as the game writes it, optional sign, saturated to 32 bits rather than
// wrapped. Fails when no digit follows.
std::optional<qint32> readInteger(QByteArrayView line, qsizetype& pos) {
    qsizetype at = pos;
    const bool negative = at < line.size() && line[at] == '-';
    if (at < line.size() && (line[at] == '-' || line[at] == '+')) {
        ++at;
    }
    const qsizetype digitsStart = at;
    qint64 value = 0;
    constexpr qint64 kLimit = qint64(std::numeric_limits<qint32>::max()) + 1;
    for (; at < line.size() && line[at] >= '0' && line[at] <= '9'; ++at) {
        value = std::min(kLimit, value * 10 + (line[at] - '0'));
    }
    if (at == digitsStart) {
        return std::nullopt;
    }
    pos = at;
    value = negative ? -value : value;
    return qint32(std::clamp<qint64>(value, std::numeric_limits<qint32>::min(),
                                     std::numeric_limits<qint32>::max()));
}

// A setting's numeric value the way the game's own atoi reads it: leading blanks, then a number;
// anything else counts as 0.
qint32 settingNumber(QByteArrayView value) {
    qsizetype pos = 0;
    skipBlanks(value, pos);
    return readInteger(value, pos).value_or(0);
}

// The settings line "\key\value\key\value...". Keys are compared without case and the first of
// two equal keys wins, as the game itself looks them up.
class InfoString {
  public:
    explicit InfoString(QByteArrayView line) {
        if (line.startsWith('\\')) {
            line = line.sliced(1);
        }
        parts_ = splitView(line, '\\');
    }

    std::optional<QByteArrayView> value(QByteArrayView key) const {
        for (qsizetype i = 0; i + 1 < parts_.size(); i += 2) {
            if (parts_[i].compare(key, Qt::CaseInsensitive) == 0) {
                return parts_[i + 1];
            }
        }
        return std::nullopt;
    }

  private:
    QList<QByteArrayView> parts_;
};

QString displayText(QByteArrayView bytes) {
    return stripQuake3Colours(decodeServerText(bytes));
}

// The name between the first and the last quote; a line without quotes is lenient and takes the
// rest of the line.
QByteArrayView playerName(QByteArrayView line, qsizetype pos) {
    const QByteArrayView rest = line.sliced(pos);
    const qsizetype open = rest.indexOf('"');
    const qsizetype close = rest.lastIndexOf('"');
    if (open < 0) {
        return rest;
    }
    if (close <= open) {
        return rest.sliced(open + 1);
    }
    return rest.sliced(open + 1, close - open - 1);
}

// One player line: score ping "name". Lines that do not start with two numbers are not players.
std::optional<PlayerRow> parsePlayerLine(QByteArrayView line) {
    qsizetype pos = 0;
    skipBlanks(line, pos);
    const std::optional<qint32> score = readInteger(line, pos);
    skipBlanks(line, pos);
    const std::optional<qint32> ping = score ? readInteger(line, pos) : std::nullopt;
    if (!ping) {
        return std::nullopt;
    }
    skipBlanks(line, pos);
    return PlayerRow{displayText(playerName(line, pos)), *score, *ping};
}

void fillFromSettings(const InfoString& info, ServerStatus& status) {
    const QByteArrayView hostName =
        info.value("sv_hostname").value_or(info.value("hostname").value_or(QByteArrayView()));
    status.name = displayText(hostName);
    status.map = displayText(info.value("mapname").value_or(QByteArrayView()));
    // Private slots need a password, so like the game's own server browser we count only the
    // slots anybody can join.
    const qint64 allSlots = qint64(settingNumber(info.value("sv_maxclients").value_or("")));
    const qint64 privateSlots = qint64(settingNumber(info.value("sv_privateClients").value_or("")));
    status.maxPlayers = int(std::clamp<qint64>(allSlots - std::max<qint64>(privateSlots, 0), 0,
                                               std::numeric_limits<qint32>::max()));
}

}  // namespace

QByteArray quake3StatusRequest() {
    return kRequest.toByteArray();
}

QString stripQuake3Colours(const QString& text) {
    QString plain;
    plain.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool colourCode = text[i] == u'^' && i + 1 < text.size() && text[i + 1] != u'^';
        if (!colourCode) {
            plain.append(text[i]);
            continue;
        }
        ++i;  // the code's character; a surrogate pair is one character
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            ++i;
        }
    }
    return plain;
}

std::optional<ServerStatus> parseQuake3StatusReply(QByteArrayView datagram) {
    if (!datagram.startsWith(kReplyHeader)) {
        return std::nullopt;
    }
    // Only lines that end in a line feed arrived whole; what follows the last one is cut off.
    QList<QByteArrayView> lines = splitView(datagram.sliced(kReplyHeader.size()), '\n');
    lines.removeLast();
    if (lines.size() < 2 || !lines[0].trimmed().isEmpty()) {
        return std::nullopt;
    }
    ServerStatus status;
    status.state = ServerStatus::State::Online;
    fillFromSettings(InfoString(lines[1]), status);
    for (qsizetype i = 2; i < lines.size(); ++i) {
        if (std::optional<PlayerRow> row = parsePlayerLine(lines[i])) {
            status.rows.append(*row);
        }
    }
    status.players = int(status.rows.size());
    return status;
}

}  // namespace tamarin
