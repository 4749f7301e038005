#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

// A port bound on 127.0.0.1 but not listening: connections to it are refused,
// and no other program can take it while the socket stays open.
class RefusingPort {
public:
    RefusingPort() : m_nSocket(socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t nSize = sizeof addr;
        if (bind(m_nSocket, reinterpret_cast<sockaddr*>(&addr), nSize) == 0 &&
            getsockname(m_nSocket, reinterpret_cast<sockaddr*>(&addr), &nSize) == 0) {
            m_nPort = ntohs(addr.sin_port);
        }
    }
    ~RefusingPort() { close(m_nSocket); }
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;

    std::string Host() const { return "127.0.0.1:" + std::to_string(m_nPort); }
    std::string Url() const { return "http://" + Host() + "/"; }

private:
    int m_nSocket;
    int m_nPort = 0;
};
