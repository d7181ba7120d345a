// The main window's start-up, first placement, keys and close.
#include "mainwindow/form1.h"

#include "mainwindow/option_box.h"
#include "mainwindow/option_settings.h"
#include "mainwindow/remembered_walks.h"
#include "mainwindow/result_view.h"
#include "mainwindow/window_placement.h"
#include "mainwindow/window_settings.h"
#include "platform/desktop/twips.h"
#include "platform/files/file_name_text.h"
#include "platform/files/mount_table.h"
#include "search/match/file_type_categories.h"
#include "search/search_command.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCursor>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>

namespace mainwindow {

using platform::px;

// Runs once before the window first shows; a step that fails leaves its default and the next
// step runs.
void Form1::runStartUp()
{
    if (services_.settings) {
        const OptionStates states = restoreOptionStates(*services_.settings);
        OptionBox* boxes[] = {ui_.Check1, ui_.Check2, ui_.Check3, ui_.Check4};
        for (size_t box = 0; box < states.size(); ++box)
            boxes[box]->setCheckState(checkStateFor(states[box]));
    }

    // The size laid out is the least; the window grows from it.
    setMinimumSize(px(8190), px(6390));
    resize(minimumSize());

    const int widths[] = {2000, 3500, 2350};
    for (int column = 0; column < 3; ++column)
        ui_.List1->horizontalHeader()->resizeSection(column, px(widths[column]));
    // The face name is meant as it stands; font substitution picks the face that shows.
    ui_.List1->setFont(QFont(QStringLiteral("Timers New Roman"), 9));

    ui_.Combo1->addItem(search::allVolumesLocation());
    const QList<QByteArray> volumes =
        services_.probeVolumes ? services_.probeVolumes() : platform::listMachineVolumes();
    for (const QByteArray& volume : volumes)
        ui_.Combo1->addItem(platform::pathText(volume), volume); // the bytes are what gets searched
    ui_.Combo1->setEditText(search::allVolumesLocation());

    ui_.Panel1->setFixedWidth(px(2000));
    ui_.StatusBar1->addWidget(ui_.Panel2);
    panel2LaidOut_ = px(6000);
    ui_.Panel2->setFixedWidth(panel2LaidOut_);
    // A panel of fixed size takes a new text without the status bar being laid out again, which
    // costs a text layout of every panel at each of the search's yields.
    for (QLabel* panel : {ui_.Panel1, ui_.Panel2})
        panel->setFixedHeight(panel->fontMetrics().height());

    for (const search::FileTypeCategory& category : search::fileTypeCategories())
        ui_.Combo2->addItem(category.caption);
    ui_.Combo2->setCurrentIndex(0);

    ui_.Command2->setEnabled(false);
    ui_.Text1->setFocus();
    // The remembered size, columns and sort; centred at the size it shows at.
    if (services_.settings) {
        const QScreen* screen = screenForWindow();
        restoreWindowLayout(*services_.settings, *this, *ui_.List1->horizontalHeader(),
                            screen ? screen->availableGeometry().size() : QSize());
    }
    centreOnScreen(this);
}

void Form1::waitForMemory()
{
    remembered_->memory();
}

void Form1::showRememberedAnswer()
{
    if (search_->isRunning())
        return;
    // Not yet read from the cache file at start: as where nothing is remembered.
    search::WalkMemory* memory = remembered_->memoryIfReady();
    if (!memory)
        return;
    answerSlices_->stop();
    if (search_->showRemembered(currentRequest(), *memory))
        answerSlices_->start();
}

void Form1::StartSearch()
{
    if (search_->isRunning())
        return;
    answerSlices_->stop();
    search_->setMemory(remembered_->memory());
    if (!search_->StartSearch(currentRequest()))
        return;
    emit searchFinished();
    if (closedDuringSearch_) {
        remembered_->save(); // what the stopped walk listed, kept as incomplete
        QApplication::quit();
    }
}

void Form1::closeEvent(QCloseEvent* event)
{
    closedDuringSearch_ = search_->isRunning();
    search_->windowClosing();
    // A search still running owns the memory until it returns; it is saved then.
    if (!closedDuringSearch_)
        remembered_->save();
    if (services_.settings) {
        saveOptionStates(*services_.settings,
                         {storedStateOf(ui_.Check1), storedStateOf(ui_.Check2), storedStateOf(ui_.Check3),
                          storedStateOf(ui_.Check4)});
        saveWindowLayout(*services_.settings, *this, *ui_.List1->horizontalHeader());
    }
    event->accept();
}

void Form1::keyPressEvent(QKeyEvent* event)
{
    // Both Enter keys, the keypad's too, start a search.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        if (ui_.Command1->isEnabled())
            ui_.Command1->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

// The request controls keep their places; the list takes the room the window has beyond the size
// laid out, and the status bar runs along the bottom with panel 2 taking the extra width.
void Form1::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const QSize extra = (size() - minimumSize()).expandedTo(QSize(0, 0));
    ui_.List1->setGeometry(listLaidOut_.adjusted(0, 0, extra.width(), extra.height()));
    ui_.StatusBar1->setGeometry(statusBarLaidOut_.translated(0, extra.height()).adjusted(0, 0, extra.width(), 0));
    ui_.Panel2->setFixedWidth(panel2LaidOut_ + extra.width());
}

void Form1::showLocation(const QByteArray& folder)
{
    shownLocationText_ = platform::pathText(folder);
    shownLocationBytes_ = folder;
    ui_.Combo1->setEditText(shownLocationText_);
}

} // namespace mainwindow
