// What the search and the result actions see of the main window.
#include "mainwindow/form1.h"

#include "mainwindow/option_box.h"
#include "mainwindow/result_view.h"
#include "platform/file_name_text.h"

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
    return Text1->text();
}

QString Form1::locationText() const
{
    return Combo1->currentText();
}

int Form1::locationCount() const
{
    return Combo1->count();
}

QString Form1::locationEntry(int index) const
{
    return Combo1->itemText(index);
}

QByteArray Form1::locationBytes(int index) const
{
    const QVariant bytes = Combo1->itemData(index);
    return bytes.isValid() ? bytes.toByteArray() : platform::fileNameBytes(Combo1->itemText(index));
}

std::optional<QByteArray> Form1::knownLocationBytes(const QString& text) const
{
    // The entry picked last first, since two entries may read alike.
    const int current = Combo1->currentIndex();
    if (current >= 0 && Combo1->itemText(current) == text && Combo1->itemData(current).isValid())
        return Combo1->itemData(current).toByteArray();
    for (int i = 0; i < Combo1->count(); ++i)
        if (Combo1->itemText(i) == text && Combo1->itemData(i).isValid())
            return Combo1->itemData(i).toByteArray();
    if (!shownLocationText_.isEmpty() && text == shownLocationText_)
        return shownLocationBytes_;
    return std::nullopt;
}

void Form1::appendLocation(const QString& text, const QByteArray& bytes)
{
    const QString shown = Combo1->currentText();
    Combo1->addItem(text, bytes);
    Combo1->setEditText(shown);
}

int Form1::categoryIndex() const
{
    return Combo2->currentIndex();
}

int Form1::optionState(search::SearchOption option) const
{
    switch (option) {
    case search::SearchOption::WholeWord: return storedStateOf(Check1);
    case search::SearchOption::CaseSensitive: return storedStateOf(Check2);
    case search::SearchOption::IncludeHidden: return storedStateOf(Check3);
    }
    return 0;
}

void Form1::setEnabled(search::Control control, bool enabled)
{
    using search::Control;
    QWidget* widget = nullptr;
    switch (control) {
    case Control::Check1: widget = Check1; break;
    case Control::Check2: widget = Check2; break;
    case Control::Check3: widget = Check3; break;
    case Control::Combo2: widget = Combo2; break;
    case Control::Command1: widget = Command1; break;
    case Control::Command2: widget = Command2; break;
    }
    widget->setEnabled(enabled);
}

void Form1::setCategoryBackground(search::SystemColour colour)
{
    QPalette palette = Combo2->palette();
    const QPalette system = QApplication::palette();
    const QColor background = colour == search::SystemColour::ButtonFace ? system.color(QPalette::Button)
                                                                          : system.color(QPalette::Base);
    palette.setColor(QPalette::Button, background);
    palette.setColor(QPalette::Base, background);
    Combo2->setPalette(palette);
}

void Form1::setStatusText(search::StatusPanel panel, const QString& text)
{
    (panel == search::StatusPanel::State ? Panel1 : Panel2)->setText(text);
}

void Form1::processEvents()
{
    QApplication::processEvents();
}

int Form1::selectedResultRow() const
{
    return List1->selectedRow();
}

void Form1::showResultMenu()
{
    mnuMain->exec(QCursor::pos());
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
