#include "update/version_fetch_win.h"

#include <windows.h>
#include <winhttp.h>

#include <chrono>
#include <future>
#include <memory>
#include <thread>

#include "base/wide_text_win.h"
#include "base/handles_win.h"
#include "update/version_check.h"

namespace {

// Each step (name lookup, connection, sending, each wait for data) gives up after this, and the
// whole exchange after the deadline: a user waits for the answer with nothing else on screen.
constexpr int step_timeout_ms = 4000;
constexpr int deadline_ms = 10000;

struct internet_handle_traits {
    using type = HINTERNET;
    static type empty() { return nullptr; }
    static void close(type h) { WinHttpCloseHandle(h); }
};
using internet_handle_c = owned_c<internet_handle_traits>;

// The exchange itself, on the fetching thread.
fetch_result_t fetch_now(const std::u16string& address, std::string& body) {
    wchar_t host[256] = {}, path[2048] = {}, query[2048] = {};
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = ARRAYSIZE(host);
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = ARRAYSIZE(path);
    parts.lpszExtraInfo = query;
    parts.dwExtraInfoLength = ARRAYSIZE(query);
    if (!WinHttpCrackUrl(wide(address), 0, 0, &parts) || host[0] == 0) return fetch_result_t::bad_address;
    if (parts.nScheme != INTERNET_SCHEME_HTTPS && parts.nScheme != INTERNET_SCHEME_HTTP)
        return fetch_result_t::bad_address;
    std::wstring object = std::wstring(path[0] ? path : L"/") + query;

    internet_handle_c session(WinHttpOpen(L"Tessera-Update", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                          WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session.is_valid()) return fetch_result_t::unreachable;
    internet_handle_c connection(WinHttpConnect(session.get(), host, parts.nPort, 0));
    if (!connection.is_valid()) return fetch_result_t::unreachable;
    const DWORD secure = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
    internet_handle_c request(WinHttpOpenRequest(connection.get(), L"GET", object.c_str(), nullptr,
                                                 WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, secure));
    if (!request.is_valid()) return fetch_result_t::unreachable;
    WinHttpSetTimeouts(request.get(), step_timeout_ms, step_timeout_ms, step_timeout_ms, step_timeout_ms);
    if (!WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
        !WinHttpReceiveResponse(request.get(), nullptr))
        return fetch_result_t::unreachable;

    DWORD status = 0, status_size = sizeof status;
    if (!WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &status_size, WINHTTP_NO_HEADER_INDEX) ||
        status != 200)
        return fetch_result_t::bad_status;

    // One byte more than a version file may have tells an oversized answer from a full one.
    char buffer[max_version_file_bytes + 1];
    size_t total = 0;
    for (;;) {
        DWORD got = 0;
        if (!WinHttpReadData(request.get(), buffer + total, static_cast<DWORD>(sizeof buffer - total), &got))
            return fetch_result_t::unreachable;
        if (got == 0) break;
        total += got;
        if (total > max_version_file_bytes) return fetch_result_t::too_large;
    }
    body.assign(buffer, total);
    return fetch_result_t::ok;
}

struct fetch_job_t {
    std::u16string address;
    std::string body;
    fetch_result_t result = fetch_result_t::unreachable;
};

}  // namespace

// WinHTTP's own time-outs are not trusted to end every wait (Wine's do not end a wait for an
// answer that never comes), so the exchange runs on a thread of its own and is given up at the
// deadline; a thread given up ends with the process.
fetch_result_t fetch_version_file(const std::u16string& address, std::string& body) {
    body.clear();
    try {
        auto job = std::make_shared<fetch_job_t>();
        job->address = address;
        std::promise<void> finished;
        std::future<void> is_finished = finished.get_future();
        std::thread worker([job, finished = std::move(finished)]() mutable {
            job->result = fetch_now(job->address, job->body);
            finished.set_value();
        });
        if (is_finished.wait_for(std::chrono::milliseconds(deadline_ms)) != std::future_status::ready) {
            worker.detach();
            return fetch_result_t::unreachable;
        }
        worker.join();
        body = std::move(job->body);
        return job->result;
    } catch (...) {
        return fetch_result_t::unreachable;
    }
}
