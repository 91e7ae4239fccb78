#include "vireo/servertestdialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "common/guardedconnect.h"
#include "common/numbers.h"
#include "common/ports.h"
#include "serverquery/statusview.h"
#include "vireo/vireotexts.h"

namespace tamarin {

namespace {

QString text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

}  // namespace

ServerTestDialog::ServerTestDialog(const GameEntry& game, QWidget* parent)
    : QDialog(parent), game_(game) {
    setWindowTitle(text(vireotexts::kTestTitle).arg(game.name));
    address_ = new QLineEdit(this);
    address_->setObjectName("address");
    port_ = new QLineEdit(game.defaultPort, this);
    port_->setObjectName("port");
    run_ = new QPushButton(text(vireotexts::kTestRun), this);
    run_->setObjectName("run");
    run_->setDefault(true);
    result_ = new QLabel(this);
    result_->setObjectName("result");
    result_->setTextFormat(Qt::PlainText);  // a server's name is never markup
    result_->setWordWrap(true);
    result_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    result_->setMinimumWidth(380);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connectGuarded(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connectGuarded(run_, &QPushButton::clicked, this, &ServerTestDialog::test);
    connect(&query_, &ServerQuery::finished, this, &ServerTestDialog::showResult);

    auto* form = new QFormLayout(this);
    form->addRow(text(vireotexts::kAddressLabel), address_);
    form->addRow(text(vireotexts::kGamePortLabel), port_);
    form->addRow(run_);
    form->addRow(result_);
    form->addRow(buttons);
}

void ServerTestDialog::test() {
    const std::optional<qint32> port = tryWholeText32(port_->text());
    const std::optional<QueryPortRule> rule = queryPortRuleFromText(game_.queryPort);
    if (!port || !isPortNumber(*port)) {
        result_->setText(text(vireotexts::kBadPort));
        return;
    }
    if (!rule) {
        result_->setText(text(vireotexts::kBadQueryPort));
        return;
    }
    gamePort_ = quint16(*port);
    queriedPort_ = rule->queryPortFor(gamePort_);
    result_->setText(text(vireotexts::kTestAsks).arg(address_->text().trimmed()).arg(queriedPort_));
    query_.start(address_->text(), queriedPort_, protocolForGameType(game_.gameType));
}

void ServerTestDialog::showResult(const ServerStatus& status) {
    StatusFacts facts;
    facts.status = status;
    facts.gameType = game_.gameType;
    facts.gameName = game_.name;
    facts.address = address_->text().trimmed() + QLatin1Char(':') + decimalText(gamePort_);
    facts.gamePort = gamePort_;
    facts.queriedPort = queriedPort_;
    const StatusView view = describeStatus(facts, 0);
    result_->setText(view.title + QLatin1Char('\n') + view.stateText + QLatin1Char('\n') +
                     view.summary);
}

}  // namespace tamarin
