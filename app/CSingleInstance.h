#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

#include <functional>

class QLocalSocket;

// How two starts of the program find each other: the running one answers on
// a local socket that only its user can reach; a second start connects,
// hands it one window message (message, wParam, lParam), waits for the
// result and ends.
class CSingleInstance : public QObject {
    Q_OBJECT

public:
    using Handler = std::function<int(unsigned nMessage, unsigned wParam, unsigned lParam)>;

    // The socket's name, derived from "TallyvineMutex": in the user's
    // runtime folder when there is one, else per user in the temp folder.
    static QString ServerName();

    // Delivers one message to the instance answering on strName and waits
    // (at most nTimeoutMs) for it to be handled. False when no instance
    // accepted the connection.
    static bool SendToRunning(const QString& strName, unsigned nMessage, unsigned wParam,
                              unsigned lParam, int nTimeoutMs = 5000);

    // Starts answering on strName; each message is handed to handler. A
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
