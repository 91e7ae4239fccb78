#include "gateway/gatewayoptions.h"

#include "common/refresh.h"
#include "serverquery/gametypes.h"

#include <QCommandLineParser>
#include <QFile>
#include <QTextStream>
#include <cmath>
#include <optional>

namespace tamarin::gateway {

namespace {

struct OptionInfo {
    const char* name;
    const char* valueName;  // nullptr for a flag
    const char* description;
};

constexpr OptionInfo kOptions[] = {
    {"config", "FILE", "Read options from FILE: \"name = value\" lines, # comments."},
    {"listen", "HOST:PORT", "Address and port to listen on (default 127.0.0.1:8080)."},
    {"allow", "GAME:HOST:PORT",
     "A server pages may ask about (repeatable; IPv6 in brackets: q3:[2001:db8::1]:27960)."},
    {"min-refresh", "SECONDS", "Least time between two queries of one server (default 5, min 1)."},
    {"allow-origin", "ORIGIN",
     "A page origin allowed to read answers by script, or * (repeatable)."},
    {"cache-size", "N", "Servers whose status is kept (default 1024)."},
    {"rate", "PER_SECOND", "Requests per second per client; 0 turns the limit off (default 10)."},
    {"burst", "N", "Requests a client may make at once (default 40)."},
    {"trusted-proxy", "ADDRESS",
     "A reverse proxy whose X-Forwarded-For names the client for the rate limit (repeatable)."},
    {"max-connections", "N", "Open client connections at most (default 1024)."},
    {"max-connections-per-client", "N",
     "Open connections of one client address (IPv6: one /64) at most; trusted proxies have only "
     "the overall limit (default 32)."},
    {"max-request-bytes", "N",
     "Size limit of a request's line and headers, and of its body (default 8192)."},
    {"idle-timeout", "SECONDS", "Close a connection idle this long (default 30)."},
    {"request-timeout", "SECONDS",
     "Close a connection whose request, or the writing of its answer, takes longer (default 10)."},
    {"query-timeout", "SECONDS",
     "Time a game server has to answer (default 1.5); a request unanswered after half of it "
     "is sent once more."},
};

using Problem = std::optional<QString>;

Problem problem(const QString& name, const QString& value, const QString& why) {
    return QStringLiteral("bad value \"%1\" for %2: %3").arg(value, name, why);
}

std::optional<double> number(const QString& value, double lowest, double highest) {
    bool ok = false;
    const double n = value.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(n) || n < lowest || n > highest) {
        return std::nullopt;
    }
    return n;
}

Problem setWhole(int& target, const QString& name, const QString& value, int lowest, int highest) {
    const std::optional<double> n = number(value, lowest, highest);
    if (!n || *n != std::floor(*n)) {
        return problem(
            name, value,
            QStringLiteral("a whole number from %1 to %2 is needed").arg(lowest).arg(highest));
    }
    target = int(*n);
    return std::nullopt;
}

Problem setMilliseconds(int& target, const QString& name, const QString& value) {
    const std::optional<double> n = number(value, 0.01, 86400);
    if (!n) {
        return problem(name, value, QStringLiteral("seconds from 0.01 to 86400 are needed"));
    }
    target = int(std::lround(*n * 1000));
    return std::nullopt;
}

Problem setListen(GatewayOptions& options, const QString& value) {
    const qsizetype colon = value.lastIndexOf(QLatin1Char(':'));
    QString host = value.left(std::max<qsizetype>(colon, 0)).trimmed();
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']'))) {
        host = host.mid(1, host.size() - 2);
    }
    int port = 0;
    if (colon < 0 || setWhole(port, QStringLiteral("listen"), value.mid(colon + 1), 0, 65535)) {
        return problem(QStringLiteral("listen"), value, QStringLiteral("HOST:PORT is needed"));
    }
    if (host == QLatin1String("localhost")) {
        host = QStringLiteral("127.0.0.1");
    }
    if (!options.listenAddress.setAddress(host)) {
        return problem(QStringLiteral("listen"), value,
                       QStringLiteral("the host must be an IP address or localhost"));
    }
    options.listenPort = quint16(port);
    return std::nullopt;
}

Problem addAllowed(GatewayOptions& options, const QString& value) {
    const KeyOrError key = serverKeyFromText(value.trimmed());
    if (const auto* error = std::get_if<KeyError>(&key)) {
        return problem(QStringLiteral("allow"), value, error->message);
    }
    options.allow.append(std::get<ServerKey>(key));
    return std::nullopt;
}

Problem addOrigin(GatewayOptions& options, const QString& value) {
    const QString origin = value.trimmed();
    if (origin.isEmpty() || origin.contains(QLatin1Char(' ')) ||
        origin.contains(QLatin1Char(','))) {
        return problem(QStringLiteral("allow-origin"), value,
                       QStringLiteral("one origin such as https://www.example.org, or *"));
    }
    options.allowOrigins.append(origin);
    return std::nullopt;
}

Problem addProxy(GatewayOptions& options, const QString& value) {
    QHostAddress address;
    if (!address.setAddress(value.trimmed())) {
        return problem(QStringLiteral("trusted-proxy"), value,
                       QStringLiteral("an IP address is needed"));
    }
    options.trustedProxies.append(address);
    options.limits.unlimitedClients.append(address);  // it speaks for many visitors
    return std::nullopt;
}

Problem setRate(GatewayOptions& options, const QString& value) {
    const std::optional<double> n = number(value, 0, 1e6);
    if (!n) {
        return problem(QStringLiteral("rate"), value, QStringLiteral("a number from 0 is needed"));
    }
    options.ratePerSecond = *n;
    return std::nullopt;
}

Problem applyOption(GatewayOptions& o, const QString& name, const QString& value) {
    if (name == QLatin1String("listen"))
        return setListen(o, value);
    if (name == QLatin1String("allow"))
        return addAllowed(o, value);
    if (name == QLatin1String("allow-origin"))
        return addOrigin(o, value);
    if (name == QLatin1String("trusted-proxy"))
        return addProxy(o, value);
    if (name == QLatin1String("rate"))
        return setRate(o, value);
    if (name == QLatin1String("min-refresh"))
        return setWhole(o.cache.minRefreshSeconds, name, value, refresh::kMinRefreshMs / 1000,
                        86400);
    if (name == QLatin1String("cache-size"))
        return setWhole(o.cache.capacity, name, value, 1, 1000000);
    if (name == QLatin1String("burst"))
        return setWhole(o.burst, name, value, 1, 1000000);
    if (name == QLatin1String("max-connections"))
        return setWhole(o.limits.maxConnections, name, value, 1, 1000000);
    if (name == QLatin1String("max-connections-per-client"))
        return setWhole(o.limits.maxConnectionsPerClient, name, value, 1, 1000000);
    if (name == QLatin1String("max-request-bytes"))
        return setWhole(o.limits.maxRequestBytes, name, value, 256, 1 << 20);
    if (name == QLatin1String("idle-timeout"))
        return setMilliseconds(o.limits.idleTimeoutMs, name, value);
    if (name == QLatin1String("request-timeout"))
        return setMilliseconds(o.limits.requestTimeoutMs, name, value);
    if (name == QLatin1String("query-timeout"))
        return setMilliseconds(o.cache.queryTimeoutMs, name, value);
    return QStringLiteral("unknown option \"%1\"").arg(name);
}

using Setting = std::pair<QString, QString>;

// "name = value" lines; blank lines, # and ; comments and [section] lines are skipped.
std::variant<QList<Setting>, QString> readConfigFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return QStringLiteral("cannot read the configuration file %1: %2")
            .arg(path, file.errorString());
    }
    QList<Setting> settings;
    QTextStream in(&file);
    for (int lineNumber = 1; !in.atEnd(); ++lineNumber) {
        const QString line = in.readLine().trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')) ||
            line.startsWith(QLatin1Char(';')) ||
            (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']')))) {
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        const QString name = line.left(equals).trimmed();
        if (equals < 0 || name == QLatin1String("config")) {
            return QStringLiteral("%1:%2: \"name = value\" expected").arg(path).arg(lineNumber);
        }
        settings.append({name, line.mid(equals + 1).trimmed()});
    }
    return settings;
}

void addParserOptions(QCommandLineParser& parser) {
    parser.setApplicationDescription(QStringLiteral(
        "Vireo status gateway: answers web pages with the status of allow-listed game servers."));
    parser.addHelpOption();
    parser.addVersionOption();
    for (const OptionInfo& info : kOptions) {
        parser.addOption(QCommandLineOption(QString::fromLatin1(info.name),
                                            QString::fromLatin1(info.description),
                                            QString::fromLatin1(info.valueName)));
    }
}

QString queryPortHelp(const QueryPortRule& rule) {
    switch (rule.kind) {
        case QueryPortRule::Kind::Offset:
            return QStringLiteral(" (query: port %1%2)")
                .arg(rule.value < 0 ? QStringLiteral("-") : QStringLiteral("+"))
                .arg(std::abs(rule.value));
        case QueryPortRule::Kind::Fixed:
            return QStringLiteral(" (query: %1)").arg(rule.value);
        case QueryPortRule::Kind::GamePort:
            break;
    }
    return {};
}

// The games --allow takes, from the one table of games: each code with the port its servers
// answer queries on, then the older codes still accepted.
QString gamesHelp() {
    QString text = QStringLiteral(
        "\nGames: GAME in --allow is the snippet's GameType and PORT the game port players use;\n"
        "the gateway asks the game's query port (shown after its name where it differs). An entry\n"
        "opens one game at one address (q3 and oa are two entries, even for one server).\n");
    for (const GameTypeInfo& type : knownGameTypes()) {
        text += QStringLiteral("  %1  %2%3\n")
                    .arg(QString::fromUtf8(type.code).leftJustified(20),
                         QString::fromUtf8(type.name), queryPortHelp(type.queryPort));
    }
    QString line = QStringLiteral("Also accepted, as the same games:");
    for (const GameTypeAlias& alias : gameTypeAliases()) {
        const QString item = QStringLiteral(" %1=%2").arg(QString::fromUtf8(alias.alias),
                                                          QString::fromUtf8(alias.code));
        if (line.size() + item.size() > 96) {
            text += line + QLatin1Char('\n');
            line = QStringLiteral(" ");
        }
        line += item;
    }
    return text + line + QLatin1Char('\n');
}

std::optional<QString> applyAll(GatewayOptions& options, const QList<Setting>& settings) {
    for (const auto& [name, value] : settings) {
        if (Problem p = applyOption(options, name, value)) {
            return p;
        }
    }
    return std::nullopt;
}

}  // namespace

std::variant<GatewayOptions, OptionsExit> parseGatewayOptions(const QStringList& arguments) {
    QCommandLineParser parser;
    addParserOptions(parser);
    if (!parser.parse(arguments)) {
        return OptionsExit{kBadConfigurationExit, parser.errorText()};
    }
    if (parser.isSet(QStringLiteral("help"))) {
        return OptionsExit{0, parser.helpText() + gamesHelp()};
    }
    if (parser.isSet(QStringLiteral("version"))) {
        return OptionsExit{
            0, QStringLiteral("vireo-gateway %1\n").arg(QStringLiteral(TAMARIN_VERSION))};
    }
    if (!parser.positionalArguments().isEmpty()) {
        return OptionsExit{
            kBadConfigurationExit,
            QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first())};
    }
    QList<Setting> settings;
    if (parser.isSet(QStringLiteral("config"))) {
        auto file = readConfigFile(parser.value(QStringLiteral("config")));
        if (const auto* error = std::get_if<QString>(&file)) {
            return OptionsExit{kBadConfigurationExit, *error};
        }
        settings = std::get<QList<Setting>>(file);
    }
    for (const OptionInfo& info : kOptions) {
        const QString name = QString::fromLatin1(info.name);
        for (const QString& value : parser.values(name)) {
            if (name != QLatin1String("config")) {
                settings.append({name, value});
            }
        }
    }
    GatewayOptions options;
    if (const std::optional<QString> error = applyAll(options, settings)) {
        return OptionsExit{kBadConfigurationExit, *error};
    }
    return options;
}

}  // namespace tamarin::gateway
