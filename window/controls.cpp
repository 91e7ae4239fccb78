#include "window/controls.h"

#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QScopedValueRollback>
#include <QSignalBlocker>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <algorithm>

#include "common/steps.h"

namespace tamarin {

namespace {
const QString kCrLf = QStringLiteral("\r\n");
const QString kLf = QStringLiteral("\n");
}  // namespace

void setCaption(QAbstractButton* button, const char* crlfText) {
    const QString caption = QString::fromLatin1(crlfText);
    button->setText(QString(caption).replace(kCrLf, kLf));
    // A screen reader reads a two-line caption as one phrase.
    button->setAccessibleName(QString(caption).replace(kCrLf, QStringLiteral(" ")));
}

void WrappingButton::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString caption = option.text;
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);
    const QRect area = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    painter.drawItemText(area, Qt::AlignCenter | Qt::TextWordWrap, palette(), isEnabled(), caption,
                         QPalette::ButtonText);
}

SortedComboBox::SortedComboBox(QWidget* parent) : QComboBox(parent) {
    setEditable(false);
    setInsertPolicy(QComboBox::NoInsert);
}

int SortedComboBox::addSorted(const QString& text) {
    // After every entry that sorts before it or equal, found by halving: the list only ever
    // grows through here, so it is sorted, and a list of thousands of games stays quick to fill.
    int position = 0;
    for (int end = count(); position < end;) {
        const int middle = position + (end - position) / 2;
        if (QString::compare(itemText(middle), text, Qt::CaseInsensitive) <= 0) {
            position = middle + 1;
        } else {
            end = middle;
        }
    }
    const int selected = currentIndex();
    {
        const QSignalBlocker quiet(this);
        insertItem(position, text);
        // Inserting must not select anything: keep the selection on the entry it was on.
        setCurrentIndex(selected < 0 ? -1 : (selected >= position ? selected + 1 : selected));
    }
    return position;
}

void SortedComboBox::addAllSorted(QList<std::pair<QString, int>> entries) {
    if (count() > 0) {
        for (const auto& [text, data] : entries) {
            setItemData(addSorted(text), data);
        }
        return;
    }
    std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        return QString::compare(a.first, b.first, Qt::CaseInsensitive) < 0;
    });
    QStringList texts;
    texts.reserve(entries.size());
    for (const auto& entry : entries) {
        texts.append(entry.first);
    }
    const QSignalBlocker quiet(this);
    insertItems(0, texts);
    for (int i = 0; i < entries.size(); ++i) {
        setItemData(i, entries[i].second);
    }
    setCurrentIndex(-1);
}

void SortedComboBox::clearEntries() {
    const QSignalBlocker quiet(this);
    clear();
}

void SortedComboBox::selectPosition(int position) {
    if (position < -1 || position >= count()) {
        throw StepFailure("no such entry in the list");
    }
    setCurrentIndex(position);
}

PlayersComboBox::PlayersComboBox(QWidget* parent) : QComboBox(parent) {
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
}

void PlayersComboBox::clearAll() {
    clear();
    clearEditText();
}

void PlayersComboBox::appendEntry(const QString& text) {
    const QString typed = currentText();
    const int selected = currentIndex();
    addItem(text);
    // A stock editable combo box selects (and shows) the first entry added to an empty list.
    setCurrentIndex(selected);
    setEditText(typed);
}

void ClickableLabel::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    QLabel::mousePressEvent(event);
}

void ClickableLabel::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = pressed_ && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    pressed_ = false;
    QLabel::mouseReleaseEvent(event);
    if (click) {
        emit clicked();
    }
}

DetailsCheckBox::DetailsCheckBox(QWidget* parent) : QCheckBox(parent) {
    setTristate(true);
}

int DetailsCheckBox::value() const {
    switch (checkState()) {
        case Qt::Unchecked:
            return 0;
        case Qt::Checked:
            return 1;
        case Qt::PartiallyChecked:
            break;
    }
    return 2;
}

void DetailsCheckBox::setValue(int value) {
    switch (value) {
        case 0:
            setCheckState(Qt::Unchecked);
            return;
        case 1:
            setCheckState(Qt::Checked);
            return;
        case 2:
            setCheckState(Qt::PartiallyChecked);
            return;
        default:
            throw StepFailure("a check box is 0, 1 or 2");
    }
}

void DetailsCheckBox::nextCheckState() {
    setCheckState(checkState() == Qt::Unchecked ? Qt::Checked : Qt::Unchecked);
}

SnippetBox::SnippetBox(QWidget* parent) : QPlainTextEdit(parent) {
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setTabChangesFocus(true);
    connect(document(), &QTextDocument::contentsChange, this, &SnippetBox::followEdit);
}

void SnippetBox::setSnippet(const QString& text) {
    {
        const QScopedValueRollback<bool> quiet(setting_, true);
        setPlainText(QString(text).replace(kCrLf, kLf));
    }
    text_ = text;
    mapPositions();
}

void SnippetBox::mapPositions() {
    starts_.clear();
    for (qsizetype i = 0; i < text_.size(); ++i) {
        starts_.append(i);
        if (text_.at(i) == u'\r' && text_.mid(i, 2) == kCrLf) {
            ++i;
        }
    }
    starts_.append(text_.size());
}

qsizetype SnippetBox::startOf(int position) const {
    return starts_.value(qBound(0, position, int(starts_.size()) - 1));
}

QString SnippetBox::shownText(int from, int to) const {
    QTextCursor cursor(document());
    cursor.setPosition(qBound(0, from, document()->characterCount() - 1));
    cursor.setPosition(qBound(0, to, document()->characterCount() - 1), QTextCursor::KeepAnchor);
    return cursor.selectedText().replace(QChar::ParagraphSeparator, kCrLf);
}

void SnippetBox::followEdit(int position, int removed, int added) {
    if (setting_) {
        return;
    }
    const QString inserted = shownText(position, position + added);
    text_.replace(startOf(position), startOf(position + removed) - startOf(position), inserted);
    mapPositions();
    if (starts_.size() != document()->characterCount()) {
        // An edit reported in a way that cannot be followed: the box's own text is all there is.
        text_ = shownText(0, document()->characterCount() - 1);
        mapPositions();
    }
}

void SnippetBox::selectAllText() {
    QTextCursor cursor(document());
    cursor.setPosition(0);
    cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    setTextCursor(cursor);
}

void SnippetBox::changeEvent(QEvent* event) {
    QPlainTextEdit::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        // The snippet indents with TABs: four blanks wide reads like the page it goes into.
        setTabStopDistance(4 * QFontMetricsF(font()).horizontalAdvance(QLatin1Char(' ')));
    }
}

QMimeData* SnippetBox::createMimeDataFromSelection() const {
    auto* data = new QMimeData;
    const QTextCursor cursor = textCursor();
    const qsizetype from = startOf(cursor.selectionStart());
    data->setText(text_.mid(from, startOf(cursor.selectionEnd()) - from));
    return data;
}

}  // namespace tamarin
