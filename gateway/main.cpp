#include <QCoreApplication>
#include <cstdio>

#include "gateway/gatewayoptions.h"
#include "gateway/gatewayserver.h"

using namespace tamarin::gateway;

int main(int argc, char** argv) {
    // Qt's own event dispatcher, not GLib's: the queries need nothing of GLib's loop, and Qt's
    // costs less per wake-up.
    qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vireo-gateway"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TAMARIN_VERSION));

    const auto parsed = parseGatewayOptions(QCoreApplication::arguments());
    if (const auto* exit = std::get_if<OptionsExit>(&parsed)) {
        std::FILE* stream = exit->exitCode == 0 ? stdout : stderr;
        std::fputs(
            qPrintable(exit->exitCode == 0 ? exit->text : "vireo-gateway: " + exit->text + '\n'),
            stream);
        return exit->exitCode;
    }
    const GatewayOptions& options = std::get<GatewayOptions>(parsed);
    GatewayServer server(options);
    const auto started = server.start();
    if (const auto* problem = std::get_if<QString>(&started)) {
        std::fprintf(stderr, "vireo-gateway: %s\n", qPrintable(*problem));
        return 1;
    }
    const int allowed = int(options.allow.size());
    std::fprintf(stderr, "vireo-gateway: listening on %s port %u, %d %s allowed\n",
                 qPrintable(options.listenAddress.toString()), unsigned(std::get<quint16>(started)),
                 allowed, allowed == 1 ? "server" : "servers");
    return QCoreApplication::exec();
}
