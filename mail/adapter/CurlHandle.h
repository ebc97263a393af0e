#pragma once
// Owning wrappers around libcurl's handles.

#include <curl/curl.h>

#include <memory>

namespace mail {

struct CurlEasyDeleter {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
using CurlEasy = std::unique_ptr<CURL, CurlEasyDeleter>;

struct CurlListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using CurlList = std::unique_ptr<curl_slist, CurlListDeleter>;

inline CurlList AppendToList(CurlList list, const char* text) {
    curl_slist* grown = curl_slist_append(list.get(), text);
    if (grown) list.release();
    return CurlList(grown ? grown : list.release());
}

}  // namespace mail
