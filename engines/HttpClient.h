// One JSON POST over HTTP(S) with libcurl, bounded by a time-out; used by the network translators, each call on
// its own easy handle, so any thread may call it.
#pragma once

#include <string>
#include <vector>

namespace engines {

struct HttpResponse {
    bool delivered = false;  // an HTTP answer arrived (of any status)
    long status = 0;
    std::string body;
    std::string error;  // why no answer arrived
};

HttpResponse PostJson(const std::string& url, const std::vector<std::string>& headers, const std::string& body,
                      unsigned timeoutSeconds);

}  // namespace engines
