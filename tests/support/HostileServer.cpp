#include "tests/support/HostileServer.h"

#include <httplib.h>

#include <cctype>

namespace {

// The first label of the domain in a request target: the lower-case letters
// before ".example" (percent-encoded in a toolbar request).
std::string Scenario(const std::string& strTarget) {
    std::size_t nEnd = strTarget.find(".example");
    if (nEnd == std::string::npos) {
        nEnd = strTarget.find("%2Eexample");
    }
    if (nEnd == std::string::npos) {
        return {};
    }
    std::size_t nStart = nEnd;
    while (nStart > 0 && std::islower(static_cast<unsigned char>(strTarget[nStart - 1])) != 0) {
        --nStart;
    }
    return strTarget.substr(nStart, nEnd - nStart);
}

// Each service's own reply for a domain it knows nothing of.
std::string NothingFound(const std::string& strTarget, bool bUtf8) {
    if (strTarget.starts_with("/search?client=navclient")) {
        return {};
    }
    if (strTarget.starts_with("/data/")) {
        return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
               "<ALEXA VER=\"0.9\" URL=\"nothing.example/\" HOME=\"0\" AID=\"=\" IDN=\"\">"
               "</ALEXA>";
    }
    if (strTarget.starts_with("/s?")) {
        return bUtf8
                   ? "<html><body>\xE6\x8A\xB1\xE6\xAD\x89\xEF\xBC\x8C\xE6\xB2\xA1\xE6\x9C\x89"
                     "\xE6\x89\xBE\xE5\x88\xB0\xE4\xB8\x8E</body></html>"
                   : "<html><body>\xB1\xA7\xC7\xB8\xA3\xAC\xC3\xBB\xD3\xD0\xD5\xD2\xB5\xBD\xD3\xEB"
                     "</body></html>";
    }
    return "<html><body><p>Your search - <b>nothing.example</b> - did not match any "
           "documents.</p></body></html>";
}

} // namespace

HostileServer::HostileServer(std::chrono::milliseconds trickleInterval)
    : m_trickleInterval(trickleInterval), m_pServer(std::make_unique<httplib::Server>()) {
    m_pServer->Get(
        ".*", [this](const httplib::Request& req, httplib::Response& res) { Answer(req, res); });
    m_nPort = m_pServer->bind_to_any_port("127.0.0.1");
    m_thread = std::thread([this] { m_pServer->listen_after_bind(); });
    while (!m_pServer->is_running()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

HostileServer::~HostileServer() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bStopping = true;
    }
    m_stopping.notify_all();
    m_pServer->stop();
    m_thread.join();
}

std::string HostileServer::Host() const {
    return "127.0.0.1:" + std::to_string(m_nPort);
}

bool HostileServer::Wait(std::chrono::milliseconds duration) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return !m_stopping.wait_for(lock, duration, [this] { return m_bStopping; });
}

void HostileServer::Answer(const httplib::Request& req, httplib::Response& res) {
    const std::string strTarget = req.target;
    const std::string strScenario = Scenario(strTarget);
    const auto redirect = [&](const std::string& strTo) {
        res.status = 302;
        res.set_header("Location", strTo);
    };
    if (strScenario == "silent") {
        while (Wait(std::chrono::seconds(1))) {
        }
    } else if (strScenario == "trickle" || strScenario == "dripping" || strScenario == "endless") {
        const bool bEndless = strScenario == "endless";
        const std::size_t nChunk = strScenario == "trickle" ? 1 : bEndless ? 65536 : 1024;
        const auto pause = strScenario == "trickle" ? m_trickleInterval
                           : bEndless               ? std::chrono::milliseconds(0)
                                                    : std::chrono::milliseconds(100);
        res.set_chunked_content_provider(
            "text/html", [this, nChunk, pause](std::size_t, httplib::DataSink& sink) {
                if (pause.count() > 0 && !Wait(pause)) {
                    return false;
                }
                const std::string strBytes(nChunk, 'x');
                return sink.write(strBytes.data(), strBytes.size());
            });
    } else if (strScenario == "loop") {
        redirect(strTarget);
    } else if (strScenario == "ratelimit") {
        res.status = 429;
        res.set_header("Retry-After", "1");
        res.set_content("Too Many Requests", "text/plain");
    } else if (strScenario == "sorry") {
        redirect("/sorry/index?continue=" + strTarget);
    } else if (strScenario == "consent") {
        redirect("https://consent.google.com/ml?continue=x");
    } else if (strScenario == "wappass") {
        redirect("https://wappass.baidu.com/static/captcha/tuxing.html");
    } else if (strScenario == "unusual") {
        res.set_content("<html><body>Our systems have detected unusual traffic from your "
                        "computer network.</body></html>",
                        "text/html");
    } else if (strScenario == "security") {
        res.set_content("<html><title>\xE7\x99\xBE\xE5\xBA\xA6\xE5\xAE\x89\xE5\x85\xA8\xE9\xAA\x8C"
                        "\xE8\xAF\x81</title></html>",
                        "text/html");
    } else if (strScenario == "changed") {
        res.set_content("<html><body>a page of a new layout</body></html>", "text/html");
    } else if (strScenario == "nothing" || strScenario == "nothingutf") {
        res.set_content(NothingFound(strTarget, strScenario == "nothingutf"), "text/html");
    } else {
        res.status = 404;
        res.set_content("Not Found", "text/plain");
    }
}
