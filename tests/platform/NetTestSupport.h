#pragma once
// Local servers for the Internet layer tests: a scripted raw TCP server, a listener that never
// answers, an FTP server process in a temp folder, and a throw-away TLS certificate.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/TempFolder.h"
#include "platform/InternetSession.h"

namespace nettest {

// Tests talk to 127.0.0.1 only, whatever proxy the environment names.
inline void ClearProxyEnvironment()
{
    for (const char* name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY",
                             "ftp_proxy", "FTP_PROXY", "no_proxy", "NO_PROXY"})
        unsetenv(name);
}

// Stops an httplib server running on thread. The server must be listening first: a stop that
// comes before the accept loop starts is lost, and the loop would never end.
template <class Server>
void StopServer(Server& server, std::thread& thread)
{
    for (int i = 0; i < 5000 && !server.is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    server.stop();
    thread.join();
}

// Reads the body in blocks of 5000 bytes; ok is the last read's result.
inline std::string ReadAll(TInternetSession& session, bool& ok)
{
    std::string body;
    char block[5000];
    size_t n = 0;
    while ((ok = session.ReadData(block, sizeof block, n)) && n > 0)
        body.append(block, n);
    return body;
}

// A socket bound to 127.0.0.1 on a free port, listening.
inline int ListenLocal(int& port)
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 16) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        throw std::runtime_error("cannot listen on 127.0.0.1");
    port = ntohs(addr.sin_port);
    return fd;
}

// Accepts connections, stays silent.
class TSilentListener {
public:
    TSilentListener() { fd_ = ListenLocal(port_); }
    ~TSilentListener() { close(fd_); }
    int Port() const { return port_; }

private:
    int fd_;
    int port_ = 0;
};

// Answers each connection's first request with the next scripted reply, then closes it.
// The reply "RESET" resets the connection instead. With an endless tail, the tail follows the
// reply again and again until the client goes away (or the server ends).
class TRawServer {
public:
    explicit TRawServer(std::vector<std::string> replies, std::string endlessTail = {})
        : replies_(std::move(replies)), tail_(std::move(endlessTail))
    {
        fd_ = ListenLocal(port_);
        if (pipe2(stop_, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
        thread_ = std::thread([this] { Run(); });
    }
    ~TRawServer()
    {
        (void)!write(stop_[1], "x", 1);
        thread_.join();
        close(fd_);
        close(stop_[0]);
        close(stop_[1]);
    }
    int Port() const { return port_; }
    std::vector<std::string> Requests()
    {
        std::lock_guard<std::mutex> guard(lock_);
        return requests_;
    }

private:
    bool WaitReadable(int fd)
    {
        pollfd fds[2] = {{fd, POLLIN, 0}, {stop_[0], POLLIN, 0}};
        return poll(fds, 2, 10000) > 0 && (fds[0].revents & (POLLIN | POLLHUP)) && !(fds[1].revents & POLLIN);
    }
    void Run()
    {
        for (size_t next = 0; WaitReadable(fd_); ++next) {
            int client = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0)
                continue;
            std::string request;
            char buf[4096];
            while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536 && WaitReadable(client)) {
                ssize_t n = read(client, buf, sizeof buf);
                if (n <= 0)
                    break;
                request.append(buf, static_cast<size_t>(n));
            }
            {
                std::lock_guard<std::mutex> guard(lock_);
                requests_.push_back(request);
            }
            const std::string& reply = replies_[std::min(next, replies_.size() - 1)];
            if (reply == "RESET") {
                linger hard{1, 0};
                setsockopt(client, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
            } else if (Send(client, reply)) {
                while (!tail_.empty() && Send(client, tail_)) {
                }
                shutdown(client, SHUT_WR);
            }
            close(client);
        }
    }
    // False once the client has gone away or the server is ending; never raises SIGPIPE.
    bool Send(int client, std::string_view data)
    {
        while (!data.empty()) {
            pollfd fds[2] = {{client, POLLOUT, 0}, {stop_[0], POLLIN, 0}};
            if (poll(fds, 2, 10000) <= 0 || (fds[1].revents & POLLIN) || !(fds[0].revents & POLLOUT))
                return false;
            const ssize_t n = send(client, data.data(), data.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                return false;
            if (n > 0)
                data.remove_prefix(static_cast<size_t>(n));
        }
        return true;
    }

    std::vector<std::string> replies_;
    std::string tail_;
    int fd_ = -1;
    int port_ = 0;
    int stop_[2] = {-1, -1};
    std::mutex lock_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

// Runs a program with stdin and stdout as pipes; stdin closing tells it to end.
class TChildProcess {
public:
    explicit TChildProcess(const std::vector<std::string>& argv)
    {
        int in[2], out[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
        pid_ = fork();
        if (pid_ == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            std::vector<char*> args;
            for (const auto& a : argv)
                args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            execv(args[0], args.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        stdin_ = in[1];
        stdout_ = out[0];
    }
    ~TChildProcess()
    {
        close(stdin_);
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        close(stdout_);
    }
    // The first line the child writes, waiting at most timeoutMs.
    std::string ReadLine(int timeoutMs)
    {
        std::string line;
        char c;
        pollfd fd{stdout_, POLLIN, 0};
        while (poll(&fd, 1, timeoutMs) > 0 && read(stdout_, &c, 1) == 1 && c != '\n')
            line += c;
        return line;
    }

private:
    pid_t pid_ = -1;
    int stdin_ = -1;
    int stdout_ = -1;
};

// An FTP server on 127.0.0.1 serving root: anonymous read access and "user"/"secret".
class TFtpServer {
public:
    explicit TFtpServer(const std::string& root, const std::string& scriptDir)
    {
        const std::string script = scriptDir + "/ftpserver.py";
        WriteTextFile(script, R"(import logging, os, sys, threading
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer
logging.basicConfig(level=logging.ERROR)
authorizer = DummyAuthorizer()
authorizer.add_user("user", "secret", sys.argv[1], perm="elr")
authorizer.add_anonymous(sys.argv[1])
handler = FTPHandler
handler.authorizer = authorizer
handler.auth_failed_timeout = 0
server = FTPServer(("127.0.0.1", 0), handler)
def watch():
    sys.stdin.read()
    os._exit(0)
threading.Thread(target=watch, daemon=True).start()
print(server.address[1], flush=True)
server.serve_forever()
)");
        process_ = std::make_unique<TChildProcess>(std::vector<std::string>{"/usr/bin/python3", script, root});
        port_ = std::atoi(process_->ReadLine(15000).c_str());
    }
    int Port() const { return port_; }

private:
    std::unique_ptr<TChildProcess> process_;
    int port_ = 0;
};

// A self-signed certificate for 127.0.0.1 and localhost; false when openssl failed.
inline bool MakeCertificate(const std::string& dir, std::string& certFile, std::string& keyFile,
                            const std::string& names = "IP:127.0.0.1,DNS:localhost")
{
    certFile = dir + "/cert.pem";
    keyFile = dir + "/key.pem";
    std::filesystem::create_directories(dir);
    const std::string command = "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2"
                                " -subj /CN=localhost -addext subjectAltName=" + names +
                                " -keyout '" + keyFile + "' -out '" + certFile + "' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

// A self-signed certificate for 127.0.0.1 that expired in 2020.
inline bool MakeExpiredCertificate(const std::string& dir, std::string& certFile, std::string& keyFile)
{
    certFile = dir + "/cert.pem";
    keyFile = dir + "/key.pem";
    std::filesystem::create_directories(dir);
    std::ofstream(dir + "/ca.cnf") << "[ca]\ndefault_ca=c\n[c]\ndatabase=index.txt\nnew_certs_dir=.\nserial=serial\n"
                                      "default_md=sha256\npolicy=p\ncopy_extensions=copy\n[p]\ncommonName=supplied\n";
    std::ofstream(dir + "/index.txt").flush();
    std::ofstream(dir + "/serial") << "01\n";
    const std::string command = "cd '" + dir + "' && openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:prime256v1"
                                " -nodes -subj /CN=localhost -addext subjectAltName=IP:127.0.0.1 -keyout key.pem"
                                " -out req.pem >/dev/null 2>&1 && openssl ca -batch -config ca.cnf -selfsign"
                                " -keyfile key.pem -in req.pem -out cert.pem -startdate 20200101000000Z"
                                " -enddate 20200102000000Z >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

}  // namespace nettest
