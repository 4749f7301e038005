#pragma once

#include "queries/CServiceHosts.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

// A local HTTP server on 127.0.0.1 that answers the requests of all four
// services as they answered them, and records every request it gets. Faults
// (delays, silent answers, custom replies) are switched on per service.
class ServiceTestBed {
public:
    enum class Service { PageRank, Alexa, Google, Baidu, Unknown };

    struct Request {
        Service service;
        std::string strTarget; // path and query exactly as sent
        std::string strUserAgent;
        std::chrono::steady_clock::time_point at;
    };

    using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

    ServiceTestBed();
    ~ServiceTestBed();

    ServiceTestBed(const ServiceTestBed&) = delete;
    ServiceTestBed& operator=(const ServiceTestBed&) = delete;

    int Port() const { return m_nPort; }
    std::string Host() const;    // "127.0.0.1:PORT"
    CServiceHosts Hosts() const; // every service on this server

    std::vector<Request> Requests() const;
    std::size_t RequestCount() const;
    void ClearRequests();
    // Waits until at least n requests arrived; false on time-out.
    bool WaitForRequests(std::size_t n, std::chrono::milliseconds timeout) const;

    // The toolbar reply's value for a domain ("Rank_1:1:" + text).
    void SetPageRank(const std::string& strDomain, const std::string& strText);
    // Answer a service with this handler instead of the built-in reply.
    void SetHandler(Service service, Handler handler);
    // Wait this long before answering a service.
    void SetDelay(Service service, std::chrono::milliseconds delay);
    // Accept a service's requests and never answer them, until released.
    void SetSilent(Service service, bool bSilent);

    static Service Classify(const std::string& strPath, const std::string& strTarget);

private:
    void Answer(const httplib::Request& req, httplib::Response& res);
    void Record(Service service, const httplib::Request& req);
    void WaitWhileSilent(Service service);
    void AnswerPageRank(const httplib::Request& req, httplib::Response& res) const;

    std::unique_ptr<httplib::Server> m_pServer;
    std::thread m_thread;
    int m_nPort = 0;

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    bool m_bStopping = false;
    std::vector<Request> m_requests;
    std::map<std::string, std::string> m_pageRanks;
    std::map<Service, Handler> m_handlers;
    std::map<Service, std::chrono::milliseconds> m_delays;
    std::map<Service, bool> m_silent;
};
