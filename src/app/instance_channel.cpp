#include "app/instance_channel.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>
#include <QtEndian>

namespace {

// A message is the path's length in four bytes (big-endian), then the path's bytes as the file
// system has them: a newline or any other byte in a name arrives whole. Nothing longer than
// this is a path this program sent.
constexpr quint32 kMaxPath = 64 * 1024;
constexpr int kHeader = 4;
constexpr int kWaitMs = 5000;
constexpr int kListenWaitMs = 3000;
constexpr int kRetryMs = 25;
const QByteArray kTaken = QByteArrayLiteral("ok\n");

// The path of a complete message; nothing while more is to come; malformed sets bad.
std::optional<QString> pathFrom(QLocalSocket &socket, bool &bad)
{
    if (socket.bytesAvailable() < kHeader)
        return std::nullopt;
    const quint32 length = qFromBigEndian<quint32>(socket.peek(kHeader).constData());
    if (length == 0 || length > kMaxPath) {
        bad = true;
        return std::nullopt;
    }
    if (socket.bytesAvailable() < kHeader + qint64(length))
        return std::nullopt;
    socket.skip(kHeader);
    const QByteArray path = socket.read(length);
    // Trailing bytes, or a byte no path can hold, are not our client's.
    bad = socket.bytesAvailable() > 0 || path.contains('\0') || !path.startsWith('/');
    if (bad)
        return std::nullopt;
    return QFile::decodeName(path);
}

void drop(QLocalSocket *socket)
{
    socket->abort();
    socket->deleteLater();
}

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
        // The oldest goes first: a start that is sending now is served rather than a
        // connection that has kept silent.
        if (open_.size() >= kMaxConnections)
            drop(open_.takeFirst());
        open_.append(socket);
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QObject::destroyed, this, [this, socket] { open_.removeOne(socket); });
        // A start hands its photo over at once; one that says nothing holds a descriptor.
        QTimer::singleShot(kIdleMs, socket, [socket] { drop(socket); });
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            bool bad = false;
            const std::optional<QString> path = pathFrom(*socket, bad);
            if (bad) {
                drop(socket);
                return;
            }
            if (!path)
                return;
            socket->write(kTaken);
            socket->disconnectFromServer();
            emit fileReceived(*path);
        });
    }
}

bool sendToRunningInstance(const QString &socketPath, const QString &file)
{
    const QByteArray path = QFile::encodeName(QFileInfo(file).absoluteFilePath());
    if (path.isEmpty() || quint32(path.size()) > kMaxPath)
        return false;
    // The running instance may have taken the lock a moment ago and not be listening yet.
    QLocalSocket socket;
    const QDeadlineTimer listening(kListenWaitMs);
    for (;;) {
        socket.connectToServer(socketPath);
        if (socket.waitForConnected(kWaitMs))
            break;
        if (listening.hasExpired())
            return false;
        QThread::msleep(kRetryMs);
    }
    char header[kHeader];
    qToBigEndian(quint32(path.size()), header);
    socket.write(header, kHeader);
    socket.write(path);
    if (!socket.waitForBytesWritten(kWaitMs))
        return false;
    while (socket.bytesAvailable() < kTaken.size()) {
        if (!socket.waitForReadyRead(kWaitMs))
            return false;
    }
    return socket.read(kTaken.size()) == kTaken;
}
