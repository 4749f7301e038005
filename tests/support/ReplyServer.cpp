#include "tests/support/ReplyServer.h"

#include <httplib.h>

using namespace std::chrono_literals;

ReplyServer::ReplyServer() : m_pServer(std::make_unique<httplib::Server>()) {
    m_pServer->Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_arrTargets.push_back(req.target);
        m_arrTimes.push_back(std::chrono::steady_clock::now());
        const auto it = m_replies.find(req.path);
        if (it == m_replies.end() || it->second.empty()) {
            res.status = 500;
            return;
        }
        const SReply reply = it->second.front();
        if (it->second.size() > 1) {
            it->second.erase(it->second.begin());
        }
        res.status = reply.nStatus;
        if (!reply.strLocation.empty()) {
            res.set_header("Location", reply.strLocation);
        }
        if (!reply.strRetryAfter.empty()) {
            res.set_header("Retry-After", reply.strRetryAfter);
        }
        res.set_content(reply.strBody, "application/json");
    });
    m_nPort = m_pServer->bind_to_any_port("127.0.0.1");
    m_thread = std::thread([this] { m_pServer->listen_after_bind(); });
    while (!m_pServer->is_running()) {
        std::this_thread::sleep_for(1ms);
    }
}

ReplyServer::~ReplyServer() {
    m_pServer->stop();
    m_thread.join();
}

std::string ReplyServer::Host() const {
    return "127.0.0.1:" + std::to_string(m_nPort);
}

void ReplyServer::Set(const std::string& strPath, std::vector<SReply> replies) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_replies[strPath] = std::move(replies);
}

std::vector<std::string> ReplyServer::Targets() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_arrTargets;
}

std::vector<std::chrono::steady_clock::time_point> ReplyServer::Times() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_arrTimes;
}
