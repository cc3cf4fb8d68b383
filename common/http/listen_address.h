// The listening address of a server, "HOST:PORT" or "[V6]:PORT". Plain C++.
#pragma once

#include <string>

namespace corvane::http {

// Splits "HOST:PORT" or "[V6]:PORT"; false when it is not of that form or
// the port is not 0-65535.
bool splitListenAddress(const std::string& text, std::string& host, int& port);
// Whether a host names only this machine (127.0.0.0/8, ::1, localhost).
bool isLoopbackHost(const std::string& host);

}  // namespace corvane::http
