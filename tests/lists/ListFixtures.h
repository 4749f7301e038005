#pragma once

#include <archive.h>
#include <archive_entry.h>
#include <httplib.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace list_fixtures {

// The bytes of a zip archive holding the files given, or of a gzip file
// holding the text, made with libarchive's writer.
inline std::string Packed(const std::vector<std::pair<std::string, std::string>>& files,
                          bool bGzip) {
    std::string strOut;
    archive* pArchive = archive_write_new();
    if (bGzip) {
        archive_write_add_filter_gzip(pArchive);
        archive_write_set_format_raw(pArchive);
    } else {
        archive_write_set_format_zip(pArchive);
    }
    // No padding to a block: the bytes are a file, not a tape.
    archive_write_set_bytes_in_last_block(pArchive, 1);
    archive_write_open(
        pArchive, &strOut, nullptr,
        [](archive*, void* pOut, const void* pData, size_t nBytes) -> la_ssize_t {
            static_cast<std::string*>(pOut)->append(static_cast<const char*>(pData), nBytes);
            return static_cast<la_ssize_t>(nBytes);
        },
        nullptr);
    for (const auto& [strName, strText] : files) {
        archive_entry* pEntry = archive_entry_new();
        archive_entry_set_pathname(pEntry, strName.c_str());
        archive_entry_set_filetype(pEntry, AE_IFREG);
        archive_entry_set_perm(pEntry, 0644);
        archive_entry_set_size(pEntry, static_cast<la_int64_t>(strText.size()));
        archive_write_header(pArchive, pEntry);
        archive_write_data(pArchive, strText.data(), strText.size());
        archive_entry_free(pEntry);
    }
    archive_write_close(pArchive);
    archive_write_free(pArchive);
    return strOut;
}

inline std::string Zip(const std::vector<std::pair<std::string, std::string>>& files) {
    return Packed(files, false);
}
inline std::string Gzip(const std::string& strText) {
    return Packed({{"list.csv", strText}}, true);
}

// A list of Tranco's shape: "rank,domain" lines, no header, CRLF.
inline std::string RankList(const std::vector<std::string>& domains, const char* pszEnd = "\r\n") {
    std::string strText;
    for (std::size_t i = 0; i < domains.size(); ++i) {
        strText += std::to_string(i + 1) + "," + domains[i] + pszEnd;
    }
    return strText;
}

// A local HTTP server that offers lists by path, answers a matching
// If-None-Match with 304, and counts what it was asked.
class ListServer {
public:
    struct Reply {
        std::string strBody;
        std::string strETag;
        int nStatus = 200;
        int nDelayMs = 0;
    };

    ListServer() {
        m_server.Get(R"(/.*)",
                     [this](const httplib::Request& request, httplib::Response& response) {
                         Reply reply;
                         {
                             std::lock_guard<std::mutex> lock(m_lock);
                             ++m_counts[request.path];
                             m_conditions.push_back(request.get_header_value("If-None-Match"));
                             const auto it = m_replies.find(request.path);
                             if (it == m_replies.end()) {
                                 response.status = 404;
                                 return;
                             }
                             reply = it->second;
                         }
                         if (reply.nDelayMs > 0) {
                             std::this_thread::sleep_for(std::chrono::milliseconds(reply.nDelayMs));
                         }
                         if (!reply.strETag.empty() &&
                             request.get_header_value("If-None-Match") == reply.strETag) {
                             response.status = 304;
                             return;
                         }
                         response.status = reply.nStatus;
                         if (!reply.strETag.empty()) {
                             response.set_header("ETag", reply.strETag);
                         }
                         response.set_header("Last-Modified", "Wed, 09 Dec 2026 10:00:00 GMT");
                         response.set_content(reply.strBody, "application/octet-stream");
                     });
        m_nPort = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    ~ListServer() {
        m_server.stop();
        m_thread.join();
    }

    void Offer(const std::string& strPath, Reply reply) {
        std::lock_guard<std::mutex> lock(m_lock);
        m_replies[strPath] = std::move(reply);
    }
    // "127.0.0.1:PORT", for routing every request here.
    std::string HostPort() const { return "127.0.0.1:" + std::to_string(m_nPort); }
    std::string Url(const std::string& strPath) const {
        return "http://127.0.0.1:" + std::to_string(m_nPort) + strPath;
    }
    int Count(const std::string& strPath) {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_counts[strPath];
    }
    std::vector<std::string> Conditions() {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_conditions;
    }

private:
    httplib::Server m_server;
    int m_nPort = 0;
    std::thread m_thread;
    std::mutex m_lock;
    std::map<std::string, Reply> m_replies;
    std::map<std::string, int> m_counts;
    std::vector<std::string> m_conditions;
};

} // namespace list_fixtures
