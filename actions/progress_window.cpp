#include "actions/progress_window.h"

#include "platform/desktop/twips.h"
#include "platform/fileops/operation_progress.h"
#include "platform/files/file_name_text.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

namespace actions {

using platform::px;

namespace {

constexpr int kBarSteps = 1000;

} // namespace

ProgressWindow::ProgressWindow(QWidget* owner, ProgressKind kind, platform::OperationProgress& progress)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                         | Qt::WindowCloseButtonHint),
      progress_(progress)
{
    const QString doing = kind == ProgressKind::Copy     ? QStringLiteral("正在复制...")
                          : kind == ProgressKind::Delete ? QStringLiteral("正在删除...")
                                                         : QStringLiteral("正在导出...");
    setObjectName(QStringLiteral("ProgressWindow"));
    setWindowTitle(doing);
    if (owner)
        setWindowIcon(owner->windowIcon());
    setFixedSize(px(5400), px(1950));
    Label1 = new QLabel(doing, this);
    Label1->setGeometry(px(240), px(180), px(4920), px(255));
    Label2 = new QLabel(this);
    Label2->setGeometry(px(240), px(480), px(4920), px(255));
    Label2->setTextFormat(Qt::PlainText);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setGeometry(px(240), px(840), px(4920), px(300));
    ProgressBar1->setRange(0, kBarSteps);
    ProgressBar1->setValue(0);
    ProgressBar1->setAccessibleName(doing);
    Command1 = new QPushButton(QStringLiteral("取消"), this);
    Command1->setGeometry(px(2092), px(1380), px(1215), px(375));
    const std::pair<QWidget*, const char*> names[] = {
        {Label1, "Label1"}, {Label2, "Label2"}, {ProgressBar1, "ProgressBar1"}, {Command1, "Command1"}};
    for (const auto& [widget, name] : names)
        widget->setObjectName(QString::fromLatin1(name));
    connect(Command1, &QPushButton::clicked, this, &ProgressWindow::reject);

    timer_ = new QTimer(this);
    timer_->setInterval(100);
    connect(timer_, &QTimer::timeout, this, &ProgressWindow::refresh);
    timer_->start();
    refresh();
}

void ProgressWindow::refresh()
{
    const int64_t total = progress_.total(), done = progress_.done();
    ProgressBar1->setValue(total > 0 ? int(std::min<int64_t>(done, total) * kBarSteps / total) : 0);
    const QByteArray current = progress_.takeCurrent();
    if (!current.isEmpty()) {
        const QString text = platform::pathText(current);
        Label2->setText(Label2->fontMetrics().elidedText(text, Qt::ElideMiddle, Label2->width()));
    }
}

void ProgressWindow::reject()
{
    // The operation decides when it has stopped; until then the window stays.
    progress_.cancel();
    Command1->setEnabled(false);
    if (finished_)
        QDialog::reject();
}

void ProgressWindow::finish()
{
    finished_ = true;
    timer_->stop();
    refresh();
    if (isVisible())
        done(QDialog::Accepted);
}

} // namespace actions
