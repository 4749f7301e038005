#include "app/CSingleInstance.h"

#include <QDir>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>

#include <unistd.h>

namespace {

constexpr const char* kInstanceName = "TallyvineMutex";

// A request is one line of at most this many bytes; the answer is one line
// too, "ok" when the request was handled.
constexpr qint64 kMaxRequestSize = 64;
const QByteArray kHandled = QByteArrayLiteral("ok\n");
const QByteArray kRefused = QByteArrayLiteral("unknown\n");

constexpr int kConnectTimeout = 1000;
// A connection that says nothing for this long is dropped.
constexpr int kIdleTimeout = 5000;

bool CanConnect(const QString& strName) {
    QLocalSocket socket;
    socket.connectToServer(strName);
    return socket.waitForConnected(kConnectTimeout);
}

} // namespace

const QByteArray CSingleInstance::kShowRequest = QByteArrayLiteral("show");

QString CSingleInstance::ServerName() {
    const QString strRuntime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!strRuntime.isEmpty() && QDir(strRuntime).exists()) {
        return QDir(strRuntime).filePath(QString::fromLatin1(kInstanceName));
    }
    return QStringLiteral("%1-%2").arg(QString::fromLatin1(kInstanceName)).arg(getuid());
}

bool CSingleInstance::SendToRunning(const QString& strName, const QByteArray& request,
                                    int nTimeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(strName);
    if (!socket.waitForConnected(kConnectTimeout)) {
        return false;
    }
    socket.write(request + '\n');
    socket.flush();
    // The answer only says the request was handled; its text is not used.
    while (!socket.canReadLine() && socket.waitForReadyRead(nTimeoutMs)) {
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
    if (pSocket->property("handled").toBool()) {
        return;
    }
    if (!pSocket->canReadLine()) {
        if (pSocket->bytesAvailable() > kMaxRequestSize) {
            pSocket->abort();
        }
        return;
    }
    // One request per connection; whatever follows it is ignored.
    pSocket->setProperty("handled", true);
    const QByteArray request = pSocket->readLine(kMaxRequestSize + 1).trimmed();
    // The handler may run an event loop of its own (a flight), in which the
    // connection can time out and go.
    const QPointer<QLocalSocket> pGuard = pSocket;
    const bool bHandled = m_handler && m_handler(request);
    if (!pGuard) {
        return;
    }
    pSocket->write(bHandled ? kHandled : kRefused);
    pSocket->disconnectFromServer();
}
