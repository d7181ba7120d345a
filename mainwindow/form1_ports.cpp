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

namespace mainwindow {

QString Form1::nameText() const
{
    return ui_.Text1->text();
}

QString Form1::locationText() const
{
    return ui_.Combo1->currentText();
}

int Form1::locationCount() const
{
    return ui_.Combo1->count();
}

QString Form1::locationEntry(int index) const
{
    return ui_.Combo1->itemText(index);
}

QByteArray Form1::locationBytes(int index) const
{
    const QVariant bytes = ui_.Combo1->itemData(index);
    return bytes.isValid() ? bytes.toByteArray() : platform::fileNameBytes(ui_.Combo1->itemText(index));
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

void Form1::appendLocation(const QString& text, const QByteArray& bytes)
{
    const QString shown = ui_.Combo1->currentText();
    ui_.Combo1->addItem(text, bytes);
    ui_.Combo1->setEditText(shown);
}

int Form1::categoryIndex() const
{
    return ui_.Combo2->currentIndex();
}

int Form1::optionState(search::SearchOption option) const
{
    switch (option) {
    case search::SearchOption::WholeWord: return storedStateOf(ui_.Check1);
    case search::SearchOption::CaseSensitive: return storedStateOf(ui_.Check2);
    case search::SearchOption::IncludeHidden: return storedStateOf(ui_.Check3);
    case search::SearchOption::Pinyin: return storedStateOf(ui_.Check4);
    }
    return 0;
}

void Form1::setEnabled(search::Control control, bool enabled)
{
    using search::Control;
    QWidget* widget = nullptr;
    switch (control) {
    case Control::Check1: widget = ui_.Check1; break;
    case Control::Check2: widget = ui_.Check2; break;
    case Control::Check3: widget = ui_.Check3; break;
    case Control::Check4: widget = ui_.Check4; break;
    case Control::Combo2: widget = ui_.Combo2; break;
    case Control::Command1: widget = ui_.Command1; break;
    case Control::Command2: widget = ui_.Command2; break;
    }
    widget->setEnabled(enabled);
}

void Form1::setCategoryBackground(search::SystemColour colour)
{
    QPalette palette = ui_.Combo2->palette();
    const QPalette system = QApplication::palette();
    const QColor background = colour == search::SystemColour::ButtonFace ? system.color(QPalette::Button)
                                                                          : system.color(QPalette::Base);
    palette.setColor(QPalette::Button, background);
    palette.setColor(QPalette::Base, background);
    ui_.Combo2->setPalette(palette);
}

// A label lays all of its text out, however little of it shows, and panel 2 shows the folder
// being searched at every yield: a path thousands of folders deep cost more than a yield's
// interval each time. What would go past the widest screen is left out.
constexpr qsizetype kMostPanelCharacters = 1024;

void Form1::setStatusText(search::StatusPanel panel, const QString& text)
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

} // namespace mainwindow
