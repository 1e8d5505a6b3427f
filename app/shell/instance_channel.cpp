#include "shell/instance_channel.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>

#include <unistd.h>

namespace velmora {

tinstance_channel::tinstance_channel(QObject* parent) : QObject(parent) {}

QString tinstance_channel::channel_name()
{
    QString name = QString("velmora-%1").arg(::getuid());
    const QByteArray home = qgetenv("VELMORA_HOME");
    if (!home.isEmpty())
        name += "-" + QCryptographicHash::hash(home, QCryptographicHash::Sha1).toHex().left(12);
    return name;
}

bool tinstance_channel::hand_over(const QStringList& files)
{
    QLocalSocket socket;
    socket.connectToServer(channel_name());
    if (!socket.waitForConnected(500))
        return false;
    socket.write(files.join('\n').toUtf8());
    socket.flush();
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(2000);
    return true;
}

bool tinstance_channel::listen(std::function<void(const QStringList&)> receive)
{
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    // A channel left behind by an editor that was killed would refuse us.
    QLocalServer::removeServer(channel_name());
    if (!server_->listen(channel_name()))
        return false;
    connect(server_, &QLocalServer::newConnection, this, [this, receive] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            auto* received = new QByteArray;
            connect(socket, &QLocalSocket::readyRead, socket, [socket, received] { *received += socket->readAll(); });
            connect(socket, &QLocalSocket::disconnected, socket, [socket, received, receive] {
                *received += socket->readAll();
                // Only files that exist are opened, whatever was sent.
                receive(existing_files(QString::fromUtf8(*received).split('\n', Qt::SkipEmptyParts)));
                delete received;
                socket->deleteLater();
            });
        }
    });
    return true;
}

QStringList existing_files(const QStringList& arguments)
{
    QStringList files;
    for (const QString& argument : arguments) {
        const QFileInfo info(argument);
        if (info.isFile())
            files << info.absoluteFilePath();
    }
    return files;
}

} // namespace velmora
