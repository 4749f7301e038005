#include "app/CSingleInstance.h"

#include <QDataStream>
#include <QDir>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>

#include <unistd.h>

namespace {

constexpr const char* kInstanceName = "TallyvineMutex";

// Three 32-bit numbers: message, wParam, lParam; the answer is one more.
constexpr qint64 kRequestSize = 12;
constexpr qint64 kReplySize = 4;

constexpr int kConnectTimeout = 1000;
// A connection that says nothing for this long is dropped.
constexpr int kIdleTimeout = 5000;

bool CanConnect(const QString& strName) {
    QLocalSocket socket;
    socket.connectToServer(strName);
    return socket.waitForConnected(kConnectTimeout);
}

} // namespace

QString CSingleInstance::ServerName() {
    const QString strRuntime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!strRuntime.isEmpty() && QDir(strRuntime).exists()) {
        return QDir(strRuntime).filePath(QString::fromLatin1(kInstanceName));
    }
    return QStringLiteral("%1-%2").arg(QString::fromLatin1(kInstanceName)).arg(getuid());
}

bool CSingleInstance::SendToRunning(const QString& strName, unsigned nMessage, unsigned wParam,
                                    unsigned lParam, int nTimeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(strName);
    if (!socket.waitForConnected(kConnectTimeout)) {
        return false;
    }
    QDataStream out(&socket);
    out << quint32(nMessage) << quint32(wParam) << quint32(lParam);
    socket.flush();
    // The answer only says the message was handled; its value is not used.
    while (socket.bytesAvailable() < kReplySize && socket.waitForReadyRead(nTimeoutMs)) {
    }
    return true;
}

bool CSingleInstance::Listen(const QString& strName, Handler handler) {
    m_handler = std::move(handler);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, &CSingleInstance::OnNewConnection,
            Qt::UniqueConnection);
    // Listening with access options replaces whatever socket file holds the
    // name, a live one included; so a socket is only removed once a
    // connection to it has failed.
    if (CanConnect(strName)) {
        return false;
    }
    QLocalServer::removeServer(strName);
    return m_server.listen(strName);
}

void CSingleInstance::OnNewConnection() {
    while (QLocalSocket* pSocket = m_server.nextPendingConnection()) {
        connect(pSocket, &QLocalSocket::disconnected, pSocket, &QObject::deleteLater);
        connect(pSocket, &QLocalSocket::readyRead, this, [this, pSocket] { OnReadyRead(pSocket); });
        QTimer::singleShot(kIdleTimeout, pSocket, [pSocket] { pSocket->abort(); });
        if (pSocket->bytesAvailable() > 0) {
            OnReadyRead(pSocket);
        }
    }
}

void CSingleInstance::OnReadyRead(QLocalSocket* pSocket) {
    if (pSocket->bytesAvailable() < kRequestSize || pSocket->property("handled").toBool()) {
        return;
    }
    // One message per connection; whatever follows it is ignored.
    pSocket->setProperty("handled", true);
    QDataStream in(pSocket);
    quint32 nMessage = 0;
    quint32 wParam = 0;
    quint32 lParam = 0;
    in >> nMessage >> wParam >> lParam;
    // The handler may run an event loop of its own (a flight, a menu), in
    // which the connection can time out and go.
    const QPointer<QLocalSocket> pGuard = pSocket;
    const qint32 nResult = m_handler ? m_handler(nMessage, wParam, lParam) : 0;
    if (!pGuard) {
        return;
    }
    QDataStream out(pSocket);
    out << nResult;
    pSocket->disconnectFromServer();
}
