#include "server/asio_server.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <exception>
#include <vector>

#include "config/configuration.h"
#include "config/metrics.h"
#include "platform/codepage.h"
#include "platform/signal_stack.h"
#include "server/command_registry.h"

namespace Vs5Server {

namespace asio = boost::asio;
using asio::ip::tcp;
using boost::system::error_code;

namespace {

// Asio opens its listener without close-on-exec. The worker processes and the
// capture tool started from this process must not inherit it (it would keep
// the port bound after the server is gone).
void KeepFromChildren(int fd) {
    int flags = fcntl(fd, F_GETFD);
    if (flags >= 0)
        fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
}

}  // namespace

CAsioVs5Server::CAsioVs5Server(Configuration& config, uint16_t port)
    : config_(config), port_(port), acceptor_(io_), acceptRetry_(io_) {
    env_.config = &config_;
    env_.limits = &limits_;
    limits_.rejections.SetLog(&config_.requestLog());
}

CAsioVs5Server::~CAsioVs5Server() {
    Stop();
}

bool CAsioVs5Server::Start(const Vs5Platform::ManualResetEvent& stop) {
    stop_ = &stop;
    if (registry_ == nullptr) {
        registry_ = &CommandRegistry::Instance();
        ownsRegistry_ = true;
    }
    env_.registry = registry_;
    try {
        Listen();
        StartAccept();
        work_.emplace(io_.get_executor());
        auto settings = config_.settings();
        int count = ioThreadCountOverride_ > 0
                        ? ioThreadCountOverride_
                        : IoThreadCount(static_cast<int>(std::thread::hardware_concurrency()),
                                        settings->engineWorkprocessCount);
        ioRunner_ = std::thread(&CAsioVs5Server::RunIoThreads, this, count);
        if (WaitForThreadStarts(count) == 0) {
            config_.requestLog().WriteLine(
                "# %s\r\n", "No I/O thread has a worker process; the service cannot answer.");
            workersFailed_ = true;
            Stop();
            return false;
        }
        StartMetrics(count);
        StopEvents events{stop, quit_};
        maintenance_ = std::thread(MaintenanceThread, events, std::ref(config_), cache_, timings_,
                                   &limits_.rejections);
        fileRemover_ = std::thread(FileRemoverThread, events, std::ref(config_), cache_, timings_);
    } catch (const std::exception& e) {
        config_.requestLog().WriteLine("# Cannot listen the specified ip and port: %s\r\n",
                                       Vs5Platform::AnsiToUtf8(e.what()).c_str());
        error_code ignored;
        acceptor_.close(ignored);
        boundPort_ = 0;
        return false;
    }
    return true;
}

void CAsioVs5Server::Listen() {
    tcp::resolver resolver(io_);
    auto results =
        resolver.resolve(listenAddress_, std::to_string(port_), tcp::resolver::address_configured);
    tcp::endpoint endpoint = results.begin()->endpoint();
    acceptor_.open(endpoint.protocol());
    KeepFromChildren(acceptor_.native_handle());
    acceptor_.set_option(tcp::acceptor::reuse_address(true));
    acceptor_.bind(endpoint);
    acceptor_.listen(asio::socket_base::max_listen_connections);
    acceptor_.non_blocking(true);
    boundPort_ = acceptor_.local_endpoint().port();
}

// The listener is waited on and the client taken with accept4, so that a
// client socket is close-on-exec from its first moment: a child started by
// another I/O thread at the same time cannot inherit it.
void CAsioVs5Server::StartAccept() {
    waiting_ = std::make_shared<CAsioVs5Connection>(io_, env_);
    WaitForClient();
}

void CAsioVs5Server::WaitForClient() {
    acceptor_.async_wait(tcp::acceptor::wait_read,
                         [this](const error_code& ec) { HandleAccept(ec ? ec : AcceptWaiting()); });
}

error_code CAsioVs5Server::AcceptWaiting() {
    int fd = accept4(acceptor_.native_handle(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0)
        return error_code(errno, boost::system::system_category());
    error_code ec;
    waiting_->socket().assign(tcp::v4(), fd, ec);
    if (ec)
        close(fd);
    return ec;
}

namespace {

// Accept failures that say the process or the system is short of descriptors
// or memory, not that one client went wrong.
bool IsResourceShortage(const error_code& error) {
    if (error.category() != boost::system::system_category())
        return false;
    int value = error.value();
    return value == EMFILE || value == ENFILE || value == ENOBUFS || value == ENOMEM;
}

constexpr auto kAcceptRetryDelay = std::chrono::milliseconds(100);

}  // namespace

void CAsioVs5Server::HandleAccept(const error_code& error) {
    if (error == asio::error::operation_aborted && !acceptor_.is_open())
        return;
    if (error == asio::error::would_block || error == asio::error::try_again ||
        error == asio::error::interrupted || error == asio::error::connection_aborted) {
        // The client left before it was taken: wait for the next one.
        WaitForClient();
        return;
    }
    if (!error) {
        error_code ec;
        tcp::endpoint peer = waiting_->socket().remote_endpoint(ec);
        std::string address = ec ? std::string() : peer.address().to_string(ec);
        if (AdmitCount(address))
            waiting_->Open(std::make_unique<RequestContext>(address));
    } else if (IsResourceShortage(error)) {
        // The client stays in the backlog and the listener stays readable, so
        // accepting again at once would fail again at once, round and round on
        // one I/O thread. Try again when descriptors may have come free.
        acceptRetry_.expires_after(kAcceptRetryDelay);
        acceptRetry_.async_wait([this](const error_code& ec) {
            if (!ec)
                StartAccept();
        });
        return;
    }
    StartAccept();
}

// Beyond MaxConnections a client is closed at once: each open connection
// holds a descriptor, and slow clients must not take them all.
bool CAsioVs5Server::AdmitCount(const std::string& address) {
    int limit = config_.settings()->maxConnections;
    if (limits_.openConnections.load() >= limit) {
        limits_.rejections.Write("# The connection from " + address + " was rejected: " +
                                 std::to_string(limit) + " connections are open.\r\n");
        error_code ignored;
        waiting_->socket().close(ignored);
        return false;
    }
    limits_.openConnections.fetch_add(1);
    waiting_->CountAsOpen();
    return true;
}

void CAsioVs5Server::RunIoThreads(int count) {
    std::vector<std::thread> threads;
    threads.reserve(count);
    for (int i = 0; i < count; ++i)
        threads.emplace_back(&CAsioVs5Server::IoThreadMain, this, i);
    for (std::thread& t : threads)
        t.join();
}

// Healthy means every I/O thread has its worker connected; without worker
// processes (a server with its own verb table) there is nothing to lose.
void CAsioVs5Server::StartMetrics(int ioThreads) {
    const int port = config_.settings()->metricsPort;
    if (port <= 0)
        return;
    Metrics::Instance().SetGauge("vistrel_open_connections", "Client connections open now.",
                                 [this] { return double(limits_.openConnections.load()); });
    const bool withWorkers = ioEnvironment_ != nullptr;
    auto healthy = [withWorkers, ioThreads] {
        return !withWorkers || Metrics::Instance().workersAlive.load() >= ioThreads;
    };
    std::string error;
    if (!metrics_.Start(static_cast<uint16_t>(port), healthy, error))
        config_.systemLog().WriteLine("The metrics endpoint on port %d is off: %s\r\n", port,
                                      error.c_str());
}

void CAsioVs5Server::ReportThreadStart(bool serving) {
    std::lock_guard<std::mutex> guard(startLock_);
    ++reported_;
    serving_ += serving ? 1 : 0;
    startChanged_.notify_all();
}

int CAsioVs5Server::WaitForThreadStarts(int count) {
    std::unique_lock<std::mutex> guard(startLock_);
    startChanged_.wait(guard, [&] { return reported_ >= count; });
    return serving_;
}

int CAsioVs5Server::servingThreads() const {
    std::lock_guard<std::mutex> guard(startLock_);
    return serving_;
}

void CAsioVs5Server::IoThreadMain(int index) {
    // The thread's own resources: its worker process with the connection to
    // it, and its web-capture events. A thread whose worker cannot be started
    // serves nothing (the reason is in the request log): were it to take its
    // share of the connections, those requests would fail while the other
    // threads sit idle.
    Vs5Platform::EnsureSignalStack();
    CTlsContainer tls;
    bool started = ioEnvironment_ == nullptr || ioEnvironment_->StartThread(tls);
    ReportThreadStart(started);
    if (!started)
        return;
    SetCurrentIoThread(&tls);
    // A handler that throws ends only its own call: the loop goes on, so one
    // bad request cannot take this thread, or the others, down.
    for (;;) {
        try {
            io_.run();
            break;
        } catch (const std::exception& e) {
            config_.systemLog().WriteLine("I/O thread %d: %s\r\n", index, e.what());
        }
    }
    SetCurrentIoThread(nullptr);
    if (ioEnvironment_ != nullptr)
        ioEnvironment_->StopThread(tls);
}

void CAsioVs5Server::Stop() {
    if (stop_ == nullptr)
        return;
    metrics_.Stop();
    Metrics::Instance().RemoveGauge("vistrel_open_connections");
    quit_.Set();
    work_.reset();
    io_.stop();
    if (fileRemover_.joinable())
        fileRemover_.join();
    if (maintenance_.joinable())
        maintenance_.join();
    if (ioRunner_.joinable())
        ioRunner_.join();
    error_code ignored;
    acceptor_.close(ignored);
    if (ownsRegistry_)
        CommandRegistry::DestroyInstance();
    registry_ = nullptr;
    ownsRegistry_ = false;
    stop_ = nullptr;
}

}  // namespace Vs5Server
