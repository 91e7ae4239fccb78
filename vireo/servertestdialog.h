#pragma once

#include <QDialog>

#include "serverquery/serverquery.h"
#include "vireo/gamecatalog.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace tamarin {

// Asks one server of a game from the list, at the port the list says it answers on, and shows
// what the preview would: the state, and why a query failed where that can be known.
class ServerTestDialog : public QDialog {
    Q_OBJECT

  public:
    ServerTestDialog(const GameEntry& game, QWidget* parent = nullptr);

  public slots:
    void test();

  private:
    void showResult(const ServerStatus& status);

    GameEntry game_;
    QLineEdit* address_ = nullptr;
    QLineEdit* port_ = nullptr;
    QPushButton* run_ = nullptr;
    QLabel* result_ = nullptr;
    ServerQuery query_;
    quint16 gamePort_ = 0;
    quint16 queriedPort_ = 0;
};

}  // namespace tamarin
