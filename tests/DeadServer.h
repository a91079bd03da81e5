// A web server that never answers: it accepts connections on a free port of the loopback
// address and holds them without a word, as a dead address of a play list does.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class TDeadServer {
public:
    TDeadServer() {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof a;
        if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            ::listen(listener_, 64) != 0 || ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &size) != 0)
            return;
        Port = ntohs(a.sin_port);
        thread_ = std::thread([this] {
            for (;;) {
                const int c = ::accept(listener_, nullptr, nullptr);
                if (c < 0) return;
                std::lock_guard<std::mutex> guard(lock_);
                held_.push_back(c);
                ++Accepted;
            }
        });
    }
    ~TDeadServer() {
        ::shutdown(listener_, SHUT_RDWR);
        ::close(listener_);
        if (thread_.joinable()) thread_.join();
        for (int c : held_) ::close(c);
    }
    TDeadServer(const TDeadServer&) = delete;
    TDeadServer& operator=(const TDeadServer&) = delete;

    std::string Address(const std::string& file) const {
        return "http://127.0.0.1:" + std::to_string(Port) + "/" + file;
    }

    int Port = 0;
    std::atomic<int> Accepted{0};

private:
    int listener_ = -1;
    std::mutex lock_;
    std::vector<int> held_;
    std::thread thread_;
};
