#include "tests/support/ServiceTestBed.h"

#include <httplib.h>

namespace {

using Values = ServiceTestBed::DomainValues;

bool StartsWith(const std::string& strText, const std::string& strPrefix) {
    return strText.compare(0, strPrefix.size(), strPrefix) == 0;
}

// How a search service's request names what it asks: the key of the query
// text, its two operators, and the key that makes a plain search the second.
struct SearchForm {
    struct Operator {
        std::string strPrefix;
        std::string Values::*pValue;
        const char* pszWord; // after the count in Google's English bar
    };
    const char* pszQueryKey;
    Operator operators[2];
    const char* pszSecondKey;
    std::string Values::*pSearch1;
    std::string Values::*pSearch2;
};

const SearchForm kGoogleForm = {
    "q",
    {{"site:", &Values::strGoogleSite, "from"}, {"link:", &Values::strGoogleLink, "linking to"}},
    "filter",
    &Values::strGoogleSearch1,
    &Values::strGoogleSearch2};
const SearchForm kBaiduForm = {
    "wd",
    {{"site:", &Values::strBaiduSite, ""}, {"Link:", &Values::strBaiduLink, ""}},
    "cl",
    &Values::strBaiduSearch1,
    &Values::strBaiduSearch2};

// What one request asks: its query text, the value its page shows and the
// word after the count.
struct Asked {
    std::string strQuery;
    std::string Values::*pValue;
    const char* pszWord;
};

Asked AskedOf(const SearchForm& form, const httplib::Request& req) {
    const std::string strQuery = req.get_param_value(form.pszQueryKey);
    for (const auto& op : form.operators) {
        if (StartsWith(strQuery, op.strPrefix)) {
            return {strQuery, op.pValue, op.pszWord};
        }
    }
    const bool bSecond = req.get_param_value(form.pszSecondKey) == "0";
    return {strQuery, bSecond ? form.pSearch2 : form.pSearch1, "for"};
}

struct ErrorReply {
    int nStatus;
    const char* pszReason;
    const char* pszMessage;
};

ErrorReply ErrorOf(ServiceTestBed::Service service) {
    using Service = ServiceTestBed::Service;
    switch (service) {
    case Service::PageRank:
        return {403, "Forbidden", "Your client does not have permission to get this URL."};
    case Service::Alexa:
        return {502, "Bad Gateway", "The server could not reach its data store."};
    case Service::Google:
        return {503, "Service Unavailable",
                "We're sorry... but your computer or network may be sending automated "
                "queries. To protect our users, we can't process your request right now."};
    case Service::Baidu:
        return {500, "Internal Server Error", "The server is busy. Please try again later."};
    case Service::Unknown:
        break;
    }
    return {404, "Not Found", "The requested URL was not found on this server."};
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

void ServiceTestBed::SetDomain(const std::string& strDomain, DomainValues values) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_domains[strDomain] = std::move(values);
}

void ServiceTestBed::SetPageRank(const std::string& strDomain, const std::string& strText) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_domains[strDomain].strPageRank = strText;
}

void ServiceTestBed::SetFault(Service service, Fault fault) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faults[service] = fault;
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
    AnswerService(service, req, res);
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

ServiceTestBed::DomainValues ServiceTestBed::Values(const std::string& strDomain) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (auto it = m_domains.find(strDomain); it != m_domains.end()) {
        return it->second;
    }
    DomainValues unknown;
    unknown.strPageRank = "5";
    return unknown;
}

ServiceTestBed::Fault ServiceTestBed::FaultOf(Service service) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_faults.find(service);
    return it == m_faults.end() ? Fault::None : it->second;
}

void ServiceTestBed::AnswerService(Service service, const httplib::Request& req,
                                   httplib::Response& res) const {
    const Fault fault = FaultOf(service);
    if (service == Service::Unknown || fault == Fault::ErrorPage) {
        const ErrorReply error = ErrorOf(service);
        res.status = error.nStatus;
        res.set_content(service_pages::ErrorPage(error.nStatus, error.pszReason, error.pszMessage),
                        "text/html; charset=UTF-8");
        return;
    }
    if (fault == Fault::EmptyBody) {
        res.set_content("", "text/html");
        return;
    }
    switch (service) {
    case Service::PageRank:
        AnswerPageRank(req, res);
        break;
    case Service::Alexa:
        AnswerAlexa(req, res);
        break;
    case Service::Google:
        AnswerGoogle(req, res);
        break;
    default:
        AnswerBaidu(req, res);
        break;
    }
}

void ServiceTestBed::AnswerPageRank(const httplib::Request& req, httplib::Response& res) const {
    const std::string strQuery = req.get_param_value("q");
    const std::string strDomain = StartsWith(strQuery, "info:") ? strQuery.substr(5) : strQuery;
    res.set_content(service_pages::PageRankReply(Values(strDomain).strPageRank),
                    "text/html; charset=UTF-8");
}

void ServiceTestBed::AnswerAlexa(const httplib::Request& req, httplib::Response& res) const {
    const std::string strDomain = req.get_param_value("url");
    res.set_content(service_pages::AlexaReply(strDomain, Values(strDomain).strAlexa), "text/xml");
}

void ServiceTestBed::AnswerGoogle(const httplib::Request& req, httplib::Response& res) const {
    const Asked asked = AskedOf(kGoogleForm, req);
    const DomainValues values = Values(service_pages::QueryDomain(asked.strQuery));
    const std::string strPage = service_pages::GooglePage(values.googleLayout, asked.strQuery,
                                                          asked.pszWord, values.*asked.pValue);
    if (values.googleLayout == GoogleLayout::ChineseBar &&
        FaultOf(Service::Google) != Fault::Utf8Page) {
        res.set_content(service_pages::ToGbk(strPage), "text/html; charset=GB2312");
    } else {
        res.set_content(strPage, "text/html; charset=UTF-8");
    }
}

void ServiceTestBed::AnswerBaidu(const httplib::Request& req, httplib::Response& res) const {
    const Asked asked = AskedOf(kBaiduForm, req);
    const DomainValues values = Values(service_pages::QueryDomain(asked.strQuery));
    const std::string strPage = service_pages::BaiduPage(asked.strQuery, values.*asked.pValue);
    if (FaultOf(Service::Baidu) == Fault::Utf8Page) {
        res.set_content(strPage, "text/html;charset=utf-8");
    } else {
        res.set_content(service_pages::ToGbk(strPage), "text/html;charset=gb2312");
    }
}
