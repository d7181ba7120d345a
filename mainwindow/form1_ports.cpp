// What the search and the result actions see of the main window.
#include "mainwindow/form1.h"

#include "mainwindow/option_box.h"
#include "mainwindow/result_view.h"
#include "platform/files/file_name_text.h"
#include "search/results/result_order.h"

#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

#include <algorithm>

namespace mainwindow {

search::SearchRequest Form1::currentRequest() const
{
    search::SearchRequest request;
    request.name = ui_.Text1->text();
    request.category = ui_.Combo2->currentIndex();
    // Only a ticked box switches its option on; a greyed one (restored so) leaves it off.
    request.wholeWord = ui_.Check1->checkState() == Qt::Checked;
    request.caseSensitive = ui_.Check2->checkState() == Qt::Checked;
    request.includeHidden = ui_.Check3->checkState() == Qt::Checked;
    request.pinyin = ui_.Check4->checkState() == Qt::Checked;
    request.location = ui_.Combo1->currentText();
    request.locationBytes = knownLocationBytes(request.location);
    for (int i = 1; i < ui_.Combo1->count(); ++i) {
        const QVariant bytes = ui_.Combo1->itemData(i);
        request.volumes.push_back(bytes.isValid() ? bytes.toByteArray()
                                                  : platform::fileNameBytes(ui_.Combo1->itemText(i)));
    }
    return request;
}

std::optional<QByteArray> Form1::knownLocationBytes(const QString& text) const
{
    // The entry picked last first, since two entries may read alike.
    const int current = ui_.Combo1->currentIndex();
    if (current >= 0 && ui_.Combo1->itemText(current) == text && ui_.Combo1->itemData(current).isValid())
        return ui_.Combo1->itemData(current).toByteArray();
    for (int i = 0; i < ui_.Combo1->count(); ++i)
        if (ui_.Combo1->itemText(i) == text && ui_.Combo1->itemData(i).isValid())
            return ui_.Combo1->itemData(i).toByteArray();
    if (!shownLocationText_.isEmpty() && text == shownLocationText_)
        return shownLocationBytes_;
    return std::nullopt;
}

// The option boxes and the file type list, which a running search has read, are locked with the
// start button while it runs, and the file type list takes a button's colour meanwhile.
void Form1::setSearching(bool searching)
{
    const auto setOptions = [this](bool enabled) {
        for (QWidget* option : std::initializer_list<QWidget*>{ui_.Check1, ui_.Check2, ui_.Check3, ui_.Check4,
                                                               ui_.Combo2})
            option->setEnabled(enabled);
        QPalette palette = ui_.Combo2->palette();
        const QPalette system = QApplication::palette();
        const QColor background = enabled ? system.color(QPalette::Base) : system.color(QPalette::Button);
        palette.setColor(QPalette::Button, background);
        palette.setColor(QPalette::Base, background);
        ui_.Combo2->setPalette(palette);
    };
    if (searching) {
        setOptions(false);
        ui_.Command1->setEnabled(false);
        ui_.Command2->setEnabled(true);
    } else {
        ui_.Command1->setEnabled(true);
        ui_.Command2->setEnabled(false);
        setOptions(true);
    }
}

void Form1::rememberLocation(const search::LocationEntry& searched)
{
    QStringList entries;
    for (int i = 0; i < ui_.Combo1->count(); ++i)
        entries << ui_.Combo1->itemText(i);
    const QString shown = ui_.Combo1->currentText();
    const std::optional<search::LocationEntry> entry = search::locationToRemember(shown, entries, searched);
    if (!entry)
        return;
    ui_.Combo1->addItem(entry->text, entry->bytes);
    ui_.Combo1->setEditText(shown);
}

// A label lays all of its text out, however little of it shows, and panel 2 shows the folder
// being searched at every yield: a path thousands of folders deep cost more than a yield's
// interval each time. What would go past the widest screen is left out.
constexpr qsizetype kMostPanelCharacters = 1024;

void Form1::showStatus(search::StatusPanel panel, const QString& text)
{
    (panel == search::StatusPanel::State ? ui_.Panel1 : ui_.Panel2)->setText(text.left(kMostPanelCharacters));
}

void Form1::processEvents()
{
    QApplication::processEvents();
}

// The actions work on the list's rows, whatever order the view shows them in.
int Form1::selectedResultRow() const
{
    return order_->listRow(ui_.List1->selectedRow());
}

std::vector<int> Form1::selectedResultRows() const
{
    std::vector<int> rows = ui_.List1->selectedRows();
    for (int& row : rows)
        row = order_->listRow(row);
    return rows;
}

void Form1::selectResultRows(const std::vector<int>& rows)
{
    std::vector<int> shown;
    for (const int row : rows)
        if (const int at = order_->rowOfListRow(row); at >= 0)
            shown.push_back(at);
    std::sort(shown.begin(), shown.end());
    ui_.List1->selectRows(shown);
}

void Form1::showResultMenu()
{
    ui_.mnuMain->exec(QCursor::pos());
}

void Form1::diskChanged(const QByteArray& path)
{
    search_->diskChanged(path);
}

void Form1::entryRenamed(const QByteArray& from, const QByteArray& to)
{
    search_->entryRenamed(from, to);
}

void Form1::entryDeleted(const QByteArray& path)
{
    search_->entryDeleted(path);
}

void Form1::entriesDeleted(const std::vector<QByteArray>& paths)
{
    search_->entriesDeleted(paths);
}

} // namespace mainwindow
