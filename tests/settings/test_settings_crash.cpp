#include <gtest/gtest.h>

#include "tests/support/printers.h"

#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <chrono>
#include <iostream>
#include <thread>

#include "settings/inisettingsstore.h"
#include "tests/settings/crashpayload.h"

namespace tamarin {
namespace {

const QString kApplication = QStringLiteral("Crash");

// What a reader finds after the kill: the pair written together, or a description of the damage.
std::string damageIn(const IniSettingsStore& store, const QString (&payloads)[2]) {
    const QString which = store.get(kApplication, "Big", "Which", "<absent>");
    if (which != "0" && which != "1") {
        return ("Which is " + which).toStdString();
    }
    const QString value = store.get(kApplication, "Big", "Value", "<absent>");
    if (value != payloads[which.toInt()]) {
        return QStringLiteral("Value of %1 characters does not match content %2")
            .arg(value.size())
            .arg(which)
            .toStdString();
    }
    if (store.get(kApplication, "Other", "Kept", "<absent>") != "yes") {
        return "the other value is lost";
    }
    return {};
}

TEST(SettingsCrash, AKilledSaveLeavesTheOldOrTheNewContentWhole) {
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    IniSettingsStore store(root.path());
    const QString payloads[] = {crashPayload(0), crashPayload(1)};
    store.saveAll(kApplication, {{"Big", "Value", payloads[0]}, {"Big", "Which", "0"}});
    store.save(kApplication, "Other", "Kept", "yes");

    const quint32 seed = QRandomGenerator::global()->generate();
    QRandomGenerator random(seed);
    SCOPED_TRACE(testing::Message() << "random seed " << seed);
    int savesSeen = 0;
    for (int kill = 0; kill < 30; ++kill) {
        QProcess child;
        child.start(TAMARIN_SAVE_LOOP_PROGRAM, {root.path()});
        ASSERT_TRUE(child.waitForReadyRead(60000)) << child.readAllStandardError().toStdString();
        std::this_thread::sleep_for(std::chrono::microseconds(random.bounded(0, 50'000)));
        child.kill();
        ASSERT_TRUE(child.waitForFinished(60000));
        ASSERT_EQ(child.exitStatus(), QProcess::CrashExit) << "the loop ended by itself";
        savesSeen += int(child.readAllStandardOutput().count('\n'));

        ASSERT_EQ(damageIn(store, payloads), "") << "after kill " << kill;
        ASSERT_FALSE(QFileInfo::exists(store.fileFor(kApplication) + ".unreadable"));
    }
    // A save takes some tens of milliseconds here: the kills land anywhere in the first or second
    // save after the one reported.
    std::cout << savesSeen << " saves completed across 30 kills\n";
}

}  // namespace
}  // namespace tamarin
