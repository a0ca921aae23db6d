// libcurl is initialised once, on first use (thread-safe in the libcurl versions we build against); signals are
// not used for time-outs (CURLOPT_NOSIGNAL) because the callers are worker threads.
#include "engines/HttpClient.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

namespace engines {

namespace {

// A translation answer is small; a server that keeps sending is cut off rather than followed into memory.
constexpr std::size_t kMaxAnswerBytes = 1 << 20;

std::size_t Collect(char* data, std::size_t size, std::size_t count, void* sink)
{
    auto* body = static_cast<std::string*>(sink);
    if (body->size() + size * count > kMaxAnswerBytes) {
        return 0;  // ends the transfer with a write error
    }
    body->append(data, size * count);
    return size * count;
}

struct EasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct ListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

}  // namespace

HttpResponse PostJson(const std::string& url, const std::vector<std::string>& headers, const std::string& body,
                      unsigned timeoutSeconds)
{
    static std::once_flag initialised;
    std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

    HttpResponse response;
    std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    if (!easy) {
        response.error = "cannot create an HTTP request";
        return response;
    }
    std::unique_ptr<curl_slist, ListDeleter> headerList;
    for (const std::string& header : headers) {
        curl_slist* extended = curl_slist_append(headerList.get(), header.c_str());
        if (extended == nullptr) {
            response.error = "cannot build the HTTP headers";
            return response;
        }
        headerList.release();
        headerList.reset(extended);
    }
    char errorText[CURL_ERROR_SIZE] = "";
    CURL* handle = easy.get();
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    // An endpoint is a web service: no file://, no other schemes.
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headerList.get());
    curl_easy_setopt(handle, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(handle, CURLOPT_TIMEOUT, static_cast<long>(timeoutSeconds));
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_NOPROXY, "127.0.0.1,localhost,::1");
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &response.body);
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorText);
    const CURLcode result = curl_easy_perform(handle);
    if (result != CURLE_OK) {
        response.error = url + ": " + (errorText[0] != '\0' ? errorText : curl_easy_strerror(result));
        response.body.clear();
        return response;
    }
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &response.status);
    response.delivered = true;
    return response;
}

}  // namespace engines
