// A signal ends the scanner within a second even while the worker is in the
// middle of matching a huge hostile reply.
#include "ScanProcess.h"
#include "tests/support/ServiceTestBed.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <signal.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace {

using Service = ServiceTestBed::Service;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// Just under the body cap; a quarter of it where the sanitizers slow the
// scanner so that a whole match would outlast the test.
constexpr std::size_t kReplySize = kSanitized ? (16u << 20) : (64u << 20) - 4096;

// The search-box block of a result page without its statistics paragraph,
// again and again: the site-count pattern finds nothing in it.
std::string HostilePage() {
    const std::string strBlock = "<div id=ssb><div id=prs></div><p id=resultStats>&nbsp;";
    std::string strPage;
    strPage.reserve(kReplySize + strBlock.size());
    while (strPage.size() < kReplySize) {
        strPage += strBlock;
    }
    strPage.resize(kReplySize);
    return strPage;
}

TEST(ScanMatchSignalTest, SigtermDuringAMatchOnAHugeReplyEndsTheScanQuickly) {
    const std::string strPage = HostilePage();
    std::mutex mutex;
    std::condition_variable sentAll;
    bool bSent = false;
    ServiceTestBed bed;
    bed.SetHandler(Service::Google, [&](const httplib::Request&, httplib::Response& res) {
        res.set_content_provider(
            strPage.size(), "text/html",
            [&](std::size_t nOffset, std::size_t nLength, httplib::DataSink& sink) {
                nLength = std::min<std::size_t>(nLength, 1u << 20);
                sink.write(strPage.data() + nOffset, nLength);
                if (nOffset + nLength == strPage.size()) {
                    const std::lock_guard<std::mutex> lock(mutex);
                    bSent = true;
                    sentAll.notify_all();
                }
                return true;
            });
    });
    std::chrono::steady_clock::time_point signalled;
    ScanRequest request{
        {"--interval", "0", "--metrics", "GSite", "--quiet"}, "a.example\n", bed.Host(), false};
    request.pfnStarted = [&](pid_t pid) {
        {
            std::unique_lock<std::mutex> lock(mutex);
            ASSERT_TRUE(sentAll.wait_for(lock, std::chrono::seconds(30), [&] { return bSent; }));
        }
        // The reply is on its way in; the match follows it.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        signalled = std::chrono::steady_clock::now();
        kill(pid, SIGTERM);
    };
    const ScanRun run = RunScanner(request);
    const auto took = std::chrono::steady_clock::now() - signalled;
    EXPECT_EQ(run.nExitCode, 128 + SIGTERM) << run.strErr;
    EXPECT_LT(took, std::chrono::seconds(1));
}

} // namespace
