#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM and SIGHUP (kill, logout) into a Qt signal that the event loop delivers, so the
// program can end as its exit command does. The handler itself only writes the signal's number
// to a pipe, which is all a handler may safely do. One instance at a time.
class TerminationSignals : public QObject
{
    Q_OBJECT

public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

signals:
    void received(int signalNumber);

private:
    void drain();

    int pipe_[2] = {-1, -1};
    QSocketNotifier *notifier_ = nullptr;
};
