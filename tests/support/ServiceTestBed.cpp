#include "tests/support/ServiceTestBed.h"

#include <httplib.h>

namespace {

bool StartsWith(const std::string& strText, const std::string& strPrefix) {
    return strText.compare(0, strPrefix.size(), strPrefix) == 0;
}

} // namespace

ServiceTestBed::ServiceTestBed() : m_pServer(std::make_unique<httplib::Server>()) {
    m_pServer->Get(
        ".*", [this](const httplib::Request& req, httplib::Response& res) { Answer(req, res); });
    m_nPort = m_pServer->bind_to_any_port("127.0.0.1");
    m_thread = std::thread([this] { m_pServer->listen_after_bind(); });
    // stop() does nothing until the accept loop runs, so wait for it.
    while (!m_pServer->is_running()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

ServiceTestBed::~ServiceTestBed() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bStopping = true;
    }
    // Release silent handlers first: the server waits for them on stop.
    m_changed.notify_all();
    m_pServer->stop();
    m_thread.join();
}

std::string ServiceTestBed::Host() const {
    return "127.0.0.1:" + std::to_string(m_nPort);
}

CServiceHosts ServiceTestBed::Hosts() const {
    return CServiceHosts::AllOn(Host());
}

std::vector<ServiceTestBed::Request> ServiceTestBed::Requests() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

std::size_t ServiceTestBed::RequestCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests.size();
}

void ServiceTestBed::ClearRequests() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_requests.clear();
}

bool ServiceTestBed::WaitForRequests(std::size_t n, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_requests.size() >= n; });
}

void ServiceTestBed::SetPageRank(const std::string& strDomain, const std::string& strText) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pageRanks[strDomain] = strText;
}

void ServiceTestBed::SetHandler(Service service, Handler handler) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_handlers[service] = std::move(handler);
}

void ServiceTestBed::SetDelay(Service service, std::chrono::milliseconds delay) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_delays[service] = delay;
}

void ServiceTestBed::SetSilent(Service service, bool bSilent) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_silent[service] = bSilent;
    }
    m_changed.notify_all();
}

ServiceTestBed::Service ServiceTestBed::Classify(const std::string& strPath,
                                                 const std::string& strTarget) {
    if (strPath == "/search") {
        return StartsWith(strTarget, "/search?client=navclient-auto") ? Service::PageRank
                                                                      : Service::Google;
    }
    if (StartsWith(strPath, "/data/")) {
        return Service::Alexa;
    }
    if (strPath == "/s") {
        return Service::Baidu;
    }
    return Service::Unknown;
}

void ServiceTestBed::Answer(const httplib::Request& req, httplib::Response& res) {
    const Service service = Classify(req.path, req.target);
    Record(service, req);
    WaitWhileSilent(service);

    Handler handler;
    std::chrono::milliseconds delay{0};
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (auto it = m_handlers.find(service); it != m_handlers.end()) {
            handler = it->second;
        }
        if (auto it = m_delays.find(service); it != m_delays.end()) {
            delay = it->second;
        }
        if (delay.count() > 0) {
            m_changed.wait_for(lock, delay, [this] { return m_bStopping; });
        }
    }
    if (handler) {
        handler(req, res);
        return;
    }
    switch (service) {
    case Service::PageRank:
        AnswerPageRank(req, res);
        break;
    default:
        res.status = 404;
        res.set_content("<html><body>Not Found</body></html>", "text/html");
        break;
    }
}

void ServiceTestBed::Record(Service service, const httplib::Request& req) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_requests.push_back({service, req.target, req.get_header_value("User-Agent"),
                              std::chrono::steady_clock::now()});
    }
    m_changed.notify_all();
}

void ServiceTestBed::WaitWhileSilent(Service service) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [&] { return m_bStopping || !m_silent[service]; });
}

void ServiceTestBed::AnswerPageRank(const httplib::Request& req, httplib::Response& res) const {
    const std::string strQuery = req.get_param_value("q");
    const std::string strDomain = StartsWith(strQuery, "info:") ? strQuery.substr(5) : strQuery;
    std::string strValue = "5";
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (auto it = m_pageRanks.find(strDomain); it != m_pageRanks.end()) {
            strValue = it->second;
        }
    }
    res.set_content("Rank_1:1:" + strValue + "\n", "text/plain");
}
