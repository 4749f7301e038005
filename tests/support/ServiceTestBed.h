#pragma once

#include "queries/CServiceHosts.h"
#include "tests/support/ServicePages.h"

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
// services as they answered them, for a table of domains, and records every
// request it gets. Faults (error pages, empty bodies, UTF-8 pages, delays,
// silent answers, custom replies) are switched on per service.
class ServiceTestBed {
public:
    enum class Service { PageRank, Alexa, Google, Baidu, Unknown };
    using GoogleLayout = service_pages::GoogleLayout;

    // What the services know of one domain, each value as the service prints
    // it. An empty value: the service knows nothing of the domain (no toolbar
    // value, no POPULARITY element, a result page that found nothing).
    struct DomainValues {
        std::string strPageRank;
        std::string strAlexa;
        std::string strGoogleSite;
        std::string strGoogleLink;
        std::string strGoogleSearch1;
        std::string strGoogleSearch2;
        std::string strBaiduSite;
        std::string strBaiduLink;
        std::string strBaiduSearch1;
        std::string strBaiduSearch2;
        GoogleLayout googleLayout = GoogleLayout::Stats;
    };

    enum class Fault {
        None,
        ErrorPage, // the service's error page with a 5xx or 403 status
        EmptyBody, // status 200 and no body
        Utf8Page,  // the Chinese pages in UTF-8 rather than GBK
    };

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

    // A domain's values for every service. A domain not in the table has the
    // PageRank 5 and nothing else.
    void SetDomain(const std::string& strDomain, DomainValues values);
    // The toolbar reply's value for a domain ("Rank_1:1:" + text; an empty
    // text gives an empty reply), the domain's other values unchanged.
    void SetPageRank(const std::string& strDomain, const std::string& strText);
    // Answer a service's every request with this fault (Fault::None: as usual).
    void SetFault(Service service, Fault fault);
    // Answer a service with this handler instead of the built-in reply (an
    // empty handler restores it).
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
    DomainValues Values(const std::string& strDomain) const;
    Fault FaultOf(Service service) const;
    void AnswerService(Service service, const httplib::Request& req, httplib::Response& res) const;
    void AnswerPageRank(const httplib::Request& req, httplib::Response& res) const;
    void AnswerAlexa(const httplib::Request& req, httplib::Response& res) const;
    void AnswerGoogle(const httplib::Request& req, httplib::Response& res) const;
    void AnswerBaidu(const httplib::Request& req, httplib::Response& res) const;

    std::unique_ptr<httplib::Server> m_pServer;
    std::thread m_thread;
    int m_nPort = 0;

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    bool m_bStopping = false;
    std::vector<Request> m_requests;
    std::map<std::string, DomainValues> m_domains;
    std::map<Service, Fault> m_faults;
    std::map<Service, Handler> m_handlers;
    std::map<Service, std::chrono::milliseconds> m_delays;
    std::map<Service, bool> m_silent;
};
