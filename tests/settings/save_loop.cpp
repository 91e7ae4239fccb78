// Saves the two large contents in turn, for ever, reporting each completed save on stdout. The
// kill test runs it and kills it at random moments.
#include <QString>
#include <cstdio>

#include "common/steps.h"
#include "settings/inisettingsstore.h"
#include "tests/settings/crashpayload.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: settings_save_loop <settings folder>\n", stderr);
        return 2;
    }
    tamarin::IniSettingsStore store(QString::fromLocal8Bit(argv[1]));
    const QString payloads[] = {tamarin::crashPayload(0), tamarin::crashPayload(1)};
    try {
        for (unsigned i = 0;; ++i) {
            const int which = int(i % 2);
            store.saveAll(
                QStringLiteral("Crash"),
                {{QStringLiteral("Big"), QStringLiteral("Value"), payloads[which]},
                 {QStringLiteral("Big"), QStringLiteral("Which"), QString::number(which)}});
            std::fputs("saved\n", stdout);
            std::fflush(stdout);
        }
    } catch (const tamarin::StepFailure& failure) {
        std::fprintf(stderr, "save failed: %s\n", failure.what());
        return 1;
    }
}
