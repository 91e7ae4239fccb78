// The fake Quake III server of the tests as a program, for the tests that are not C++ (the web
// script's, in Node.js): it prints "port N" once it listens on 127.0.0.1, then takes lines on its
// standard input that change what it answers from then on:
//   name TEXT | map TEXT | player SCORE PING NAME | players (none from now on) | silent 0|1
// It ends when its standard input closes.
#include <unistd.h>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <cstdio>

#include "tests/fakeservers/fakeservers.h"

using namespace tamarin::fake;

namespace {

struct Game {
    QByteArray name = "Fake Arena";
    QByteArray map = "q3dm17";
    QList<Quake3Player> players;
};

void apply(const QByteArray& line, Game& game, FakeQuake3Server& server) {
    const int space = line.indexOf(' ');
    const QByteArray command = space < 0 ? line : line.left(space);
    const QByteArray rest = space < 0 ? QByteArray() : line.mid(space + 1);
    if (command == "name") {
        game.name = rest;
    } else if (command == "map") {
        game.map = rest;
    } else if (command == "players") {
        game.players.clear();
    } else if (command == "player") {
        const QList<QByteArray> parts = rest.split(' ');
        if (parts.size() >= 3) {
            game.players.append({parts[0].toInt(), parts[1].toInt(), parts.mid(2).join(' ')});
        }
    } else if (command == "silent") {
        server.setSilent(rest == "1");
    }
    server.setReplies(
        {quake3Reply({{"sv_hostname", game.name}, {"mapname", game.map}, {"sv_maxclients", "16"}},
                     game.players)});
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    FakeQuake3Server server;
    if (!server.isListening()) {
        std::fputs("fake_game_server: cannot listen\n", stderr);
        return 1;
    }
    Game game;
    apply({}, game, server);
    QByteArray pending;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[65536];
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got <= 0) {
            QCoreApplication::quit();
            return;
        }
        pending.append(buffer, got);
        for (int end; (end = pending.indexOf('\n')) >= 0; pending.remove(0, end + 1)) {
            apply(pending.left(end), game, server);
        }
    });
    std::printf("port %u\n", unsigned(server.port()));
    std::fflush(stdout);
    return QCoreApplication::exec();
}
