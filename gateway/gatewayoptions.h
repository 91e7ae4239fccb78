#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>
#include <variant>

#include "gateway/connectionguard.h"
#include "gateway/serverkey.h"
#include "gateway/statuscache.h"

namespace tamarin::gateway {

struct GatewayOptions {
    QHostAddress listenAddress = QHostAddress::LocalHost;
    quint16 listenPort = 8080;
    QList<ServerKey> allow;
    QStringList allowOrigins;
    QList<QHostAddress> trustedProxies;
    CacheSettings cache;
    ConnectionLimits limits;
    double ratePerSecond = 10;
    int burst = 40;
};

// What to do instead of serving: print the text (help or version on standard output, an error
// on standard error) and exit with the code.
struct OptionsExit {
    int exitCode = 0;
    QString text;
};

inline constexpr int kBadConfigurationExit = 2;

// The options from the command line (arguments[0] is the program) and the --config file it
// names. The file holds the same options as "name = value" lines; the command line wins for
// single options and adds to repeatable ones.
std::variant<GatewayOptions, OptionsExit> parseGatewayOptions(const QStringList& arguments);

}  // namespace tamarin::gateway
