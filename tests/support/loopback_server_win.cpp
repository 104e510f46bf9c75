#include "support/loopback_server_win.h"

#include <ws2tcpip.h>

#include <vector>

namespace {

SOCKET bound_socket(unsigned short& port) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (s == INVALID_SOCKET || bind(s, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0) return s;
    int size = sizeof where;
    getsockname(s, reinterpret_cast<sockaddr*>(&where), &size);
    port = ntohs(where.sin_port);
    return s;
}

bool send_all(SOCKET s, const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        int n = send(s, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

loopback_server_c::loopback_server_c() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    listener_ = bound_socket(port_);
    listen(listener_, 4);
    thread_ = std::thread([this] { serve(); });
}

loopback_server_c::~loopback_server_c() {
    is_stopping_ = true;
    thread_.join();
    closesocket(listener_);
    WSACleanup();
}

void loopback_server_c::set_answer(answer_t kind, std::string body) {
    std::lock_guard<std::mutex> hold(lock_);
    kind_ = kind;
    body_ = std::move(body);
}

std::string loopback_server_c::address(const char* path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::string loopback_server_c::last_request_line() {
    std::lock_guard<std::mutex> hold(lock_);
    return request_line_;
}

unsigned short loopback_server_c::closed_port() {
    unsigned short port = 0;
    closesocket(bound_socket(port));
    return port;
}

void loopback_server_c::serve() {
    while (!is_stopping_) {
        // Waits in short steps, so the destructor never depends on closing a socket under accept.
        fd_set ready;
        FD_ZERO(&ready);
        FD_SET(listener_, &ready);
        timeval step{0, 100000};
        if (select(0, &ready, nullptr, nullptr, &step) <= 0) continue;
        SOCKET client = accept(listener_, nullptr, nullptr);
        if (client == INVALID_SOCKET) continue;
        answer(client);
        closesocket(client);
    }
}

void loopback_server_c::answer(SOCKET client) {
    std::string request;
    char chunk[512];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < 16384) {
        int n = recv(client, chunk, sizeof chunk, 0);
        if (n <= 0) return;
        request.append(chunk, static_cast<size_t>(n));
    }
    answer_t kind;
    std::string body;
    {
        std::lock_guard<std::mutex> hold(lock_);
        request_line_ = request.substr(0, request.find("\r\n"));
        kind = kind_;
        body = body_;
    }
    switch (kind) {
    case answer_t::body:
        send_all(client, "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " +
                             std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
        break;
    case answer_t::status_404:
        send_all(client, "HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\nConnection: close\r\n\r\nnot found");
        break;
    case answer_t::endless_body: {
        // No length, a body that only ends when the reader hangs up (or after 64 MiB).
        send_all(client, "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n");
        std::string block(65536, '1');
        for (int i = 0; i < 1024 && !is_stopping_; ++i)
            if (!send_all(client, block)) break;
        break;
    }
    case answer_t::silence: {
        // Holds the connection without a word until the client gives up.
        DWORD step_ms = 100;
        setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&step_ms), sizeof step_ms);
        while (!is_stopping_) {
            int n = recv(client, chunk, sizeof chunk, 0);
            if (n == 0 || (n < 0 && WSAGetLastError() != WSAETIMEDOUT)) break;
        }
        break;
    }
    }
}
