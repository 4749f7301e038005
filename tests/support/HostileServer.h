#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

// A local HTTP server on 127.0.0.1 that misbehaves as services do. What it
// does with a request depends on the first label of the domain the request
// names (its lower-case letters before ".example"), wherever it stands in the target:
//
//   silent    never answers          trickle   a byte every trickle interval
//   endless   an endless fast body   dripping  1 KiB every 100 ms, for ever
//   loop      redirects to itself    ratelimit HTTP 429
//   sorry     redirects to /sorry/   consent   redirects to consent.google.com
//   wappass   redirects to wappass.baidu.com
//   unusual   a page about unusual traffic
//   security  a page asking for a security check (in Chinese, UTF-8)
//   missing   HTTP 404               changed   a page of an unknown layout
//   nothing   each service's own "nothing found" reply (GBK for Baidu)
//   nothingutf  Baidu's "nothing found" page in UTF-8
//
// Anything else gets 404. The server stops at once on destruction, silent
// and trickling answers included.
class HostileServer {
public:
    explicit HostileServer(std::chrono::milliseconds trickleInterval = std::chrono::seconds(2));
    ~HostileServer();

    HostileServer(const HostileServer&) = delete;
    HostileServer& operator=(const HostileServer&) = delete;

    std::string Host() const; // "127.0.0.1:PORT"

private:
    void Answer(const httplib::Request& req, httplib::Response& res);
    // Sleeps; false once the server is stopping.
    bool Wait(std::chrono::milliseconds duration);

    const std::chrono::milliseconds m_trickleInterval;
    std::unique_ptr<httplib::Server> m_pServer;
    int m_nPort = 0;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_stopping;
    bool m_bStopping = false;
};
