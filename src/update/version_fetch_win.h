// Fetches the version file over HTTP(S) with WinHTTP: short time-outs, one overall deadline and
// a bounded read, so that no answer, however slow, large or strange, can hold the updater.
#pragma once

#include <string>

enum class fetch_result_t {
    ok,
    bad_address,  // not an http or https address WinHTTP can take apart
    unreachable,  // no connection, a failed TLS handshake, a dropped or timed-out exchange
    bad_status,   // the server answered, but not with 200
    too_large,    // more than max_version_file_bytes
};

// Reads the whole body at `address` into `body`, at most max_version_file_bytes of it.
fetch_result_t fetch_version_file(const std::u16string& address, std::string& body);
