#include "tests/support/http_test_server.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace testing_support {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(const std::string& what) {
    throw std::runtime_error("test server: " + what);
}

using KeyPtr = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using CertPtr = std::unique_ptr<X509, decltype(&X509_free)>;

void addExtension(X509* cert, X509* issuer, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    if (!ext) fail("extension");
    X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
}

CertPtr makeCertificate(EVP_PKEY* key, const std::string& commonName, X509* issuer, EVP_PKEY* issuerKey,
                        long serial) {
    CertPtr cert(X509_new(), &X509_free);
    X509_set_version(cert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), serial);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 24 * 3600);
    X509_set_pubkey(cert.get(), key);
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(commonName.c_str()), -1, -1, 0);
    X509_set_issuer_name(cert.get(), issuer ? X509_get_subject_name(issuer) : name);
    X509* signer = issuer ? issuer : cert.get();
    addExtension(cert.get(), signer, NID_subject_key_identifier, "hash");
    if (!issuer) {
        addExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:TRUE");
        addExtension(cert.get(), signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        addExtension(cert.get(), signer, NID_authority_key_identifier, "keyid:always");
        addExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:FALSE");
        addExtension(cert.get(), signer, NID_key_usage, "critical,digitalSignature");
        addExtension(cert.get(), signer, NID_ext_key_usage, "serverAuth");
        in_addr address{};
        const std::string san =
            (inet_pton(AF_INET, commonName.c_str(), &address) == 1 ? "IP:" : "DNS:") + commonName;
        addExtension(cert.get(), signer, NID_subject_alt_name, san.c_str());
    }
    if (X509_sign(cert.get(), issuerKey, EVP_sha256()) == 0) fail("sign");
    return cert;
}

bool isRefused(const std::string& path) {
    return path.find("..") != std::string::npos;
}

} // namespace

// The TLS context and the connection's I/O.
struct HttpTestServer::Impl {
    SSL_CTX* ctx = nullptr;
    ~Impl() {
        if (ctx) SSL_CTX_free(ctx);
    }
};

namespace {

// One connection's reads and writes, plain or through TLS.
class Connection {
public:
    Connection(int fd, SSL_CTX* ctx, int stopFd) : fd_(fd), stopFd_(stopFd) {
        if (ctx) {
            ssl_ = SSL_new(ctx);
            SSL_set_fd(ssl_, fd);
            if (SSL_accept(ssl_) <= 0) ok_ = false;
        }
    }
    ~Connection() {
        if (ssl_) {
            if (ok_) SSL_shutdown(ssl_);
            SSL_free(ssl_);
        }
    }
    bool ok() const { return ok_; }

    // Reads one request head; false at the end of the connection.
    bool readHead(std::string& head) {
        for (;;) {
            if (const auto end = buffer_.find("\r\n\r\n"); end != std::string::npos) {
                head = buffer_.substr(0, end + 4);
                buffer_.erase(0, end + 4);
                return true;
            }
            if (buffer_.size() > 65536) return false;
            if (!waitReadable(-1)) return false;
            char data[4096];
            const int n = ssl_ ? SSL_read(ssl_, data, sizeof data)
                               : static_cast<int>(::recv(fd_, data, sizeof data, 0));
            if (n <= 0) return false;
            buffer_.append(data, static_cast<std::size_t>(n));
        }
    }

    bool write(std::string_view data) {
        while (!data.empty()) {
            const int n = ssl_ ? SSL_write(ssl_, data.data(), static_cast<int>(data.size()))
                               : static_cast<int>(::send(fd_, data.data(), data.size(), MSG_NOSIGNAL));
            if (n <= 0) return false;
            data.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }

    // Waits until the client closes, the server stops or the time passes; true only when the time passed.
    bool idle(int milliseconds) {
        pollfd fds[2] = {{fd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        const int n = ::poll(fds, 2, milliseconds);
        return n == 0;
    }

private:
    bool waitReadable(int milliseconds) {
        if (ssl_ && SSL_pending(ssl_) > 0) return true;
        pollfd fds[2] = {{fd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        if (::poll(fds, 2, milliseconds) <= 0) return false;
        return (fds[1].revents & POLLIN) == 0;
    }

    int fd_;
    int stopFd_;
    SSL* ssl_ = nullptr;
    bool ok_ = true;
    std::string buffer_;
};

std::string statusText(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 302:
        return "Found";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

std::string head(int status, std::optional<std::uint64_t> length, const std::string& extra = {}) {
    std::string text = "HTTP/1.1 " + std::to_string(status) + " " + statusText(status) + "\r\n";
    if (length) text += "Content-Length: " + std::to_string(*length) + "\r\n";
    text += extra;
    return text + "\r\n";
}

} // namespace

HttpTestServer::HttpTestServer(fs::path root) : HttpTestServer(std::move(root), Options{}) {}

HttpTestServer::HttpTestServer(fs::path root, Options options)
    : root_(std::move(root)), options_(std::move(options)), impl_(std::make_unique<Impl>()) {
    std::string pattern = (fs::temp_directory_path() / "skyloom-server-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) fail("mkdtemp");
    scratch_ = pattern;
    caFile_ = scratch_ / "ca.pem";

    if (options_.tls) {
        KeyPtr caKey(EVP_EC_gen("P-256"), &EVP_PKEY_free);
        KeyPtr serverKey(EVP_EC_gen("P-256"), &EVP_PKEY_free);
        if (!caKey || !serverKey) fail("key");
        CertPtr ca = makeCertificate(caKey.get(), "Skyloom Test CA", nullptr, caKey.get(), 1);
        CertPtr server = makeCertificate(serverKey.get(), options_.certificateHost, ca.get(), caKey.get(), 2);
        std::FILE* file = std::fopen(caFile_.c_str(), "w");
        if (!file) fail("ca file");
        PEM_write_X509(file, ca.get());
        std::fclose(file);
        impl_->ctx = SSL_CTX_new(TLS_server_method());
        if (!impl_->ctx || SSL_CTX_use_certificate(impl_->ctx, server.get()) != 1 ||
            SSL_CTX_use_PrivateKey(impl_->ctx, serverKey.get()) != 1)
            fail("tls context");
    }

    if (::pipe(stopPipe_) != 0) fail("pipe");
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) fail("socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) fail("bind");
    if (::listen(listenFd_, 64) != 0) fail("listen");
    socklen_t length = sizeof address;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    acceptThread_ = std::thread([this] { acceptLoop(); });
}

HttpTestServer::~HttpTestServer() {
    stop();
    std::error_code ec;
    fs::remove_all(scratch_, ec);
}

std::string HttpTestServer::baseUrl() const {
    return (options_.tls ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(port_);
}

void HttpTestServer::script(const std::string& path, ServedFault fault) {
    std::lock_guard lock(mutex_);
    faults_[path] = std::move(fault);
}

void HttpTestServer::clearScript(const std::string& path) {
    std::lock_guard lock(mutex_);
    faults_.erase(path);
}

int HttpTestServer::requests(const std::string& path) const {
    std::lock_guard lock(mutex_);
    const auto it = requests_.find(path);
    return it == requests_.end() ? 0 : it->second;
}

int HttpTestServer::totalRequests() const {
    std::lock_guard lock(mutex_);
    int total = 0;
    for (const auto& [path, count] : requests_)
        total += count;
    return total;
}

void HttpTestServer::stop() {
    if (stopping_.exchange(true)) return;
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(stopPipe_[1], &byte, 1);
    if (acceptThread_.joinable()) acceptThread_.join();
    std::vector<std::thread> connections;
    {
        std::lock_guard lock(mutex_);
        for (const int fd : openFds_)
            ::shutdown(fd, SHUT_RDWR);
        connections.swap(connections_);
    }
    for (auto& thread : connections)
        thread.join();
    ::close(listenFd_);
    ::close(stopPipe_[0]);
    ::close(stopPipe_[1]);
}

void HttpTestServer::acceptLoop() {
    for (;;) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents) return;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        std::lock_guard lock(mutex_);
        openFds_.push_back(fd);
        connections_.emplace_back([this, fd] { serve(fd); });
    }
}

void HttpTestServer::serve(int fd) {
    // A write to a client that has gone must fail, not end the process (TLS writes use plain write()).
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    {
        Connection connection(fd, impl_->ctx, stopPipe_[0]);
        std::string request;
        while (connection.ok() && connection.readHead(request)) {
            const auto firstSpace = request.find(' ');
            const auto secondSpace = request.find(' ', firstSpace + 1);
            if (firstSpace == std::string::npos || secondSpace == std::string::npos) break;
            std::string path = request.substr(firstSpace + 1, secondSpace - firstSpace - 1);
            path = path.substr(0, path.find('?'));
            std::optional<ServedFault> fault;
            {
                std::lock_guard lock(mutex_);
                ++requests_[path];
                if (const auto it = faults_.find(path); it != faults_.end()) fault = it->second;
            }
            if (!fault) {
                const fs::path file = root_ / fs::path(path).relative_path();
                std::ifstream in(file, std::ios::binary);
                if (isRefused(path) || !in || fs::is_directory(file)) {
                    if (!connection.write(head(404, 9) + "not found")) break;
                    continue;
                }
                const std::string body{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
                if (!connection.write(head(200, body.size()) + body)) break;
                continue;
            }
            using Kind = ServedFault::Kind;
            bool keepOpen = true;
            switch (fault->kind) {
            case Kind::Status: {
                const std::string body =
                    "<html><body>error " + std::to_string(fault->status) + "</body></html>";
                keepOpen = connection.write(head(fault->status, body.size()) + body);
                break;
            }
            case Kind::Redirect:
                keepOpen = connection.write(head(302, 0, "Location: " + fault->location + "\r\n"));
                break;
            case Kind::Body:
                keepOpen = connection.write(head(fault->status, fault->body.size()) + fault->body);
                break;
            case Kind::ShortBody:
                connection.write(head(200, 1000) + std::string(100, 'x'));
                keepOpen = false;
                break;
            case Kind::Oversized: {
                keepOpen = connection.write(head(200, fault->size));
                const std::string block(64 * 1024, 'x');
                for (std::uint64_t sent = 0; keepOpen && sent < fault->size; sent += block.size())
                    keepOpen = connection.write(std::string_view(block).substr(
                        0,
                        static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), fault->size - sent))));
                break;
            }
            case Kind::OversizedChunked: {
                keepOpen = connection.write(head(200, std::nullopt, "Transfer-Encoding: chunked\r\n"));
                const std::string block(64 * 1024, 'x');
                char sizeLine[32];
                std::snprintf(sizeLine, sizeof sizeLine, "%zx\r\n", block.size());
                for (std::uint64_t sent = 0; keepOpen && sent < fault->size; sent += block.size())
                    keepOpen =
                        connection.write(sizeLine) && connection.write(block) && connection.write("\r\n");
                if (keepOpen) keepOpen = connection.write("0\r\n\r\n");
                break;
            }
            case Kind::Stall:
                connection.write(head(200, 1000));
                connection.idle(-1);
                keepOpen = false;
                break;
            case Kind::Trickle:
                keepOpen = connection.write(head(200, 100000));
                while (keepOpen && connection.idle(200))
                    keepOpen = connection.write("x");
                keepOpen = false;
                break;
            }
            if (!keepOpen) break;
        }
    }
    std::lock_guard lock(mutex_);
    openFds_.erase(std::remove(openFds_.begin(), openFds_.end(), fd), openFds_.end());
    ::close(fd);
}

} // namespace testing_support
