#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
} // namespace httplib

// A local server on 127.0.0.1 that answers each path with recorded replies
// (status, body, and a Location for a redirect) and records every target it
// is asked, with the time. A path's replies are given one per request, the
// last one again and again; an unknown path answers 500.
class ReplyServer {
public:
    struct SReply {
        int nStatus = 200;
        std::string strBody;
        std::string strLocation;
        std::string strRetryAfter;
    };

    ReplyServer();
    ~ReplyServer();
    ReplyServer(const ReplyServer&) = delete;
    ReplyServer& operator=(const ReplyServer&) = delete;

    std::string Host() const; // "127.0.0.1:PORT"
    void Set(const std::string& strPath, SReply reply) { Set(strPath, std::vector{reply}); }
    void Set(const std::string& strPath, std::vector<SReply> replies);
    std::vector<std::string> Targets() const;
    std::vector<std::chrono::steady_clock::time_point> Times() const;

private:
    std::unique_ptr<httplib::Server> m_pServer;
    int m_nPort = 0;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::map<std::string, std::vector<SReply>> m_replies;
    std::vector<std::string> m_arrTargets;
    std::vector<std::chrono::steady_clock::time_point> m_arrTimes;
};
