#pragma once

#include <QTest>

#include "tests/window/windowfixture.h"

namespace tamarin {

// A window whose inputs are complete, so that Step 1 gets past its check: the second of three
// games (key b, game type tb) at 10.0.0.1, port 27015, 30 seconds, five players. Nothing that
// start-up did is left in the records.
class ReadyWindow : public WindowTest {
  protected:
    void SetUp() override { ready(); }

    void ready() {
        threeGames();
        open();
        cboGame()->setCurrentIndex(1);
        txtIP()->setText("10.0.0.1");
        txtPort()->setText("27015");
        txtRefresh()->setText("30");
        cboPlayers()->setEditText("5");
        forget();
    }

    void forget() {
        control->puts.clear();
        control->calls.clear();
        desktop.messages.clear();
    }

    void step1() { cmdSave()->click(); }
    void step2() { cmdShow()->click(); }

    // The values last written to one of the control's own properties.
    QVariantList written(dispid::DispId id) const {
        QVariantList values;
        for (const auto& put : control->puts) {
            if (put.first == id) {
                values << put.second;
            }
        }
        return values;
    }

    QStringList messageTexts() const {
        QStringList texts;
        for (const auto& message : desktop.messages) {
            texts << message.text;
        }
        return texts;
    }
};

}  // namespace tamarin
