#include "app/instance_channel.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>

namespace {

// A path and its newline; anything longer is not a path this program sent.
constexpr qint64 kMaxMessage = 64 * 1024;
constexpr int kWaitMs = 5000;
const QByteArray kTaken = QByteArrayLiteral("ok\n");

} // namespace

InstanceServer::InstanceServer(QObject *parent)
    : QObject(parent)
{
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, &InstanceServer::accept);
}

bool InstanceServer::listen(const QString &socketPath)
{
    QLocalServer::removeServer(socketPath);
    return server_.listen(socketPath);
}

void InstanceServer::accept()
{
    while (QLocalSocket *socket = server_.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine()) {
                if (socket->bytesAvailable() > kMaxMessage)
                    socket->abort();
                return;
            }
            const QString path = QString::fromUtf8(socket->readLine(kMaxMessage)).chopped(1);
            socket->write(kTaken);
            socket->disconnectFromServer();
            if (!path.isEmpty())
                emit fileReceived(path);
        });
    }
}

bool sendToRunningInstance(const QString &socketPath, const QString &file)
{
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(kWaitMs))
        return false;
    socket.write(QFileInfo(file).absoluteFilePath().toUtf8() + '\n');
    if (!socket.waitForBytesWritten(kWaitMs))
        return false;
    while (socket.bytesAvailable() < kTaken.size()) {
        if (!socket.waitForReadyRead(kWaitMs))
            return false;
    }
    return socket.read(kTaken.size()) == kTaken;
}
