// A small HTTP server on 127.0.0.1 for tests: one thread answers every connection with the
// answer set last, and remembers the request line it read.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

class loopback_server_c {
public:
    enum class answer_t { body, status_404, endless_body, silence };

    loopback_server_c();
    ~loopback_server_c();
    loopback_server_c(const loopback_server_c&) = delete;
    loopback_server_c& operator=(const loopback_server_c&) = delete;

    void set_answer(answer_t kind, std::string body = {});
    std::string address(const char* path) const;
    std::string last_request_line();

    // A port on which nothing listens: bound for a moment and closed again.
    static unsigned short closed_port();

private:
    void serve();
    void answer(SOCKET client);

    SOCKET listener_ = INVALID_SOCKET;
    unsigned short port_ = 0;
    std::atomic<bool> is_stopping_{false};
    std::mutex lock_;
    answer_t kind_ = answer_t::body;
    std::string body_;
    std::string request_line_;
    std::thread thread_;
};
