// Prints the Step 2 snippet for the given values, so the browser test's pages hold exactly what
// the tool writes: web_snippet HEIGHT GAME HOST PORT REFRESH DETAILS(0|1) EXPANDEDHIGHT
#include <cstdio>
#include <cstdlib>

#include "snippet/snippet.h"

int main(int argc, char** argv) {
    if (argc != 8) {
        std::fputs("usage: web_snippet HEIGHT GAME HOST PORT REFRESH DETAILS EXPANDEDHIGHT\n",
                   stderr);
        return 2;
    }
    tamarin::SnippetValues v;
    v.pixelHeight = std::atoi(argv[1]);
    v.gameType = QString::fromUtf8(argv[2]);
    v.hostName = QString::fromUtf8(argv[3]);
    v.hostPort = std::atoi(argv[4]);
    v.version = QStringLiteral("1.0");
    v.refreshInterval = std::atoi(argv[5]);
    v.details = argv[6][0] == '1';
    v.expandedHight = std::atoi(argv[7]);
    std::fputs(tamarin::snippetText(v).toUtf8().constData(), stdout);
    return 0;
}
