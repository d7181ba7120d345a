#pragma once

#include <QList>
#include <QSize>
#include <QString>
#include <QtCore/qnamespace.h>

#include <optional>

class QHeaderView;
class QWidget;

namespace platform {
class SettingsStore;
}

namespace mainwindow {

// Beside the option boxes in section "Form1": the window's size ("size", "546x426"), the result
// columns' widths ("columns", "133,233,157", one for each column the list has) and the header
// sort ("sort": the column's number and "ascending" or "descending", or "none" for the order
// found). Sizes are in pixels. A value that is malformed, does not fit on the screen or names
// another number of columns is ignored, and what start-up set stays.

struct HeaderSort {
    int column = -1; // -1: the order found
    Qt::SortOrder order = Qt::AscendingOrder;
    bool operator==(const HeaderSort&) const = default;
};

// A stored size no smaller than the least and within the screen.
std::optional<QSize> windowSizeFromText(const QString& text, QSize least, QSize screen);
QString windowSizeText(QSize size);
// One width for each of the columns, each from the least to the screen's width.
std::optional<QList<int>> columnWidthsFromText(const QString& text, int columns, int least, int screenWidth);
QString columnWidthsText(const QList<int>& widths);
// A sort by one of the columns; the order found for anything else.
HeaderSort headerSortFromText(const QString& text, int columns);
QString headerSortText(HeaderSort sort);

// Start-up: the window's size, the columns' widths and the sort, from the store, for a window
// that will show on a screen of this size. Close: the same, as the user left them (the size of
// the window when it is not maximized).
void restoreWindowLayout(platform::SettingsStore& store, QWidget& window, QHeaderView& header, QSize screen);
void saveWindowLayout(platform::SettingsStore& store, const QWidget& window, const QHeaderView& header);

} // namespace mainwindow
