#pragma once

#include <QByteArray>
#include <QLocalServer>
#include <QObject>
#include <QString>

#include <functional>

class QLocalSocket;

// How two starts of the program find each other: the running one answers on
// a local socket that only its user can reach; a second start connects,
// sends one request, a short line of text such as "show", waits until it has
// been handled and ends.
class CSingleInstance : public QObject {
    Q_OBJECT

public:
    // Handles one request; false when it is not one the program knows.
    using Handler = std::function<bool(const QByteArray& request)>;

    // The request that brings the running instance's window to the front.
    static const QByteArray kShowRequest;

    // The socket's name, derived from "TallyvineMutex": in the user's
    // runtime folder when there is one, else per user in the temp folder.
    static QString ServerName();

    // Delivers one request to the instance answering on strName and waits
    // (at most nTimeoutMs) for it to be handled. False when no instance
    // accepted the connection.
    static bool SendToRunning(const QString& strName, const QByteArray& request,
                              int nTimeoutMs = 5000);

    // Starts answering on strName; each request is handed to handler. A
    // connection that sends more than a short line, or nothing for five
    // seconds, is dropped unheard. A
    // socket whose owner no longer accepts connections (left by a run that
    // crashed) is replaced; one that does is never touched, and false is
    // returned.
    bool Listen(const QString& strName, Handler handler);

private:
    void OnNewConnection();
    void OnReadyRead(QLocalSocket* pSocket);

    QLocalServer m_server;
    Handler m_handler;
};
