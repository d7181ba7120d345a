#pragma once

#include <QObject>

class QSocketNotifier;

namespace platform {

// Turns the signals that end a session or a program (SIGTERM at logout or from kill, SIGHUP,
// SIGINT) into a Qt signal on the window's thread, so that the program can end the way a cancel
// does rather than wherever the signal finds it. Each signal is caught once: a second one of the
// same kind ends the program at once. One object at a time; its end restores the defaults.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

    // Whether one of the signals has come: the program is ending and asks the user nothing more.
    static bool received();

signals:
    void terminationRequested(int signal);

private:
    void readPipe();

    QSocketNotifier* notifier_ = nullptr;
};

} // namespace platform
