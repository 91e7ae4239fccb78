#pragma once

#include <QDialog>
#include <QList>

#include "vireo/gamecatalog.h"

class QListWidget;

namespace tamarin {

// Lists the built-in games a game list lacks, each with a box to tick; nothing is ticked at first,
// since a list the user made is theirs to grow.
class BuiltInGamesDialog : public QDialog {
    Q_OBJECT

  public:
    BuiltInGamesDialog(const QList<GameEntry>& missing, QWidget* parent = nullptr);
    QList<GameEntry> chosen() const;

  private:
    QList<GameEntry> missing_;
    QListWidget* list_ = nullptr;
};

}  // namespace tamarin
