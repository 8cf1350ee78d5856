#pragma once

#include <QList>
#include <QLocalServer>
#include <QLocalSocket>
#include <QObject>
#include <QString>

// The running instance's end of a local socket in the private runtime folder, through which a
// second start hands over the photo it was asked to open.
class InstanceServer : public QObject
{
    Q_OBJECT

public:
    explicit InstanceServer(QObject *parent = nullptr);

    // Only the holder of the instance lock may call this: a socket left by a killed instance
    // is removed first.
    bool listen(const QString &socketPath);

    // A connection is closed when it has sent no whole message this long after it opened, and
    // the oldest when a newer one would make more than kMaxConnections: idle clients cannot use
    // up the window's descriptors or keep a second start waiting.
    static constexpr int kIdleMs = 2000;
    static constexpr int kMaxConnections = 16;

signals:
    void fileReceived(const QString &path);

private:
    void accept();

    QLocalServer server_;
    QList<QLocalSocket *> open_;
};

// Hands file (made absolute) to the instance listening at socketPath, waiting up to 3 s for it
// to listen; true once it has taken it. Blocks: for a start that has no window.
bool sendToRunningInstance(const QString &socketPath, const QString &file);
