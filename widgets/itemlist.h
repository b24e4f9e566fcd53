#pragma once

#include <QListWidget>

// A list of short texts (codes, slot labels), one line each, so that every line reads as one
// entry: a text longer than the list is wide is elided in the middle, its start and its end in
// view, and shows whole in its tooltip; the list never scrolls sideways. The entry that has the
// focus is marked by a dotted frame in the text colour only, never by a coloured one that would
// look like a selection, and an empty list that has the focus shows the same frame inside it.
class ItemList : public QListWidget {
public:
    explicit ItemList(QWidget* parent = nullptr);

    // A new last entry, its whole text as its tooltip.
    void addEntry(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
};
