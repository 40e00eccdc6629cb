#pragma once
// A small HTTP/1.1 server for tests and benchmarks: serves a folder on an ephemeral port of
// 127.0.0.1, over TLS with a certificate authority made at run time (or plain http), with faults
// scripted per path. Never reachable beyond the loopback interface.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace testing_support {

// What the server does for one path instead of serving the file.
struct ServedFault {
    enum class Kind {
        Status,           // this status with a short body
        Redirect,         // 302 to `location`
        ShortBody,        // Content-Length above the body, then the connection closes
        Oversized,        // a body of `size` bytes with its Content-Length
        OversizedChunked, // a chunked body of `size` bytes, no length declared
        Stall,            // headers (Content-Length 1000), then nothing until the client leaves
        Trickle,          // headers, then one byte every 200 ms
        Body,             // `body` as the content
    };
    Kind kind = Kind::Status;
    int status = 500;
    std::string location;
    std::uint64_t size = 0;
    std::string body;
};

class HttpTestServer {
public:
    struct Options {
        bool tls = true;
        // The name in the server certificate: an IP address goes in as an IP entry, else a DNS entry.
        std::string certificateHost = "127.0.0.1";
    };

    explicit HttpTestServer(std::filesystem::path root);
    HttpTestServer(std::filesystem::path root, Options options);
    ~HttpTestServer();
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    std::uint16_t port() const { return port_; }
    // "https://127.0.0.1:PORT" (or http).
    std::string baseUrl() const;
    // The certificate authority that signed the server's certificate (PEM).
    const std::filesystem::path& caFile() const { return caFile_; }
    const std::filesystem::path& root() const { return root_; }

    void script(const std::string& path, ServedFault fault);
    void clearScript(const std::string& path);
    // Requests that arrived for the path (the path as requested, without a query).
    int requests(const std::string& path) const;
    int totalRequests() const;

    void stop();

private:
    struct Impl;
    void acceptLoop();
    void serve(int fd);

    std::filesystem::path root_;
    Options options_;
    std::filesystem::path scratch_;
    std::filesystem::path caFile_;
    std::unique_ptr<Impl> impl_;
    int listenFd_ = -1;
    int stopPipe_[2] = {-1, -1};
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread acceptThread_;

    mutable std::mutex mutex_;
    std::map<std::string, ServedFault> faults_;
    std::map<std::string, int> requests_;
    std::vector<std::thread> connections_;
    std::vector<int> openFds_;
};

} // namespace testing_support
