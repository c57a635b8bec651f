// libcurl, loaded on its first call, as libpq is (see LibPqOnDemand.cpp): only a desk that
// sends alerts maps it and the TLS libraries it brings. Without the library every transfer
// fails with the loader's reason.
// Our definitions below are the functions themselves, not calls to check.
#define CURL_DISABLE_TYPECHECK
#include <curl/curl.h>

#include <cstdarg>

#include "platform/OnDemandLibrary.h"

namespace {

const OnDemandLibrary& library() {
    static const OnDemandLibrary libcurl("libcurl.so.4");
    return libcurl;
}

bool loaded() { return library().loaded(); }

}  // namespace

#define LIBCURL(name) ON_DEMAND(library(), name)

const char* curlLoadError() { return library().error().c_str(); }

extern "C" {

CURL* curl_easy_init() { return loaded() ? LIBCURL(curl_easy_init)() : nullptr; }

void curl_easy_cleanup(CURL* curl) {
    if (curl) LIBCURL(curl_easy_cleanup)(curl);
}

CURLcode curl_easy_perform(CURL* curl) {
    return curl ? LIBCURL(curl_easy_perform)(curl) : CURLE_FAILED_INIT;
}

const char* curl_easy_strerror(CURLcode code) {
    return loaded() ? LIBCURL(curl_easy_strerror)(code) : curlLoadError();
}

// The option's number says the type of its value (curl.h: CURLOPTTYPE_*).
CURLcode curl_easy_setopt(CURL* curl, CURLoption option, ...) {
    if (!curl) return CURLE_FAILED_INIT;
    va_list values;
    va_start(values, option);
    CURLcode rc;
    if (option < CURLOPTTYPE_OBJECTPOINT) {
        const long value = va_arg(values, long);
        rc = LIBCURL(curl_easy_setopt)(curl, option, value);
    } else if (option < CURLOPTTYPE_OFF_T || option >= CURLOPTTYPE_BLOB) {
        void* value = va_arg(values, void*);
        rc = LIBCURL(curl_easy_setopt)(curl, option, value);
    } else {
        const curl_off_t value = va_arg(values, curl_off_t);
        rc = LIBCURL(curl_easy_setopt)(curl, option, value);
    }
    va_end(values);
    return rc;
}

CURLcode curl_easy_getinfo(CURL* curl, CURLINFO info, ...) {
    if (!curl) return CURLE_FAILED_INIT;
    va_list values;
    va_start(values, info);
    void* target = va_arg(values, void*);
    va_end(values);
    return LIBCURL(curl_easy_getinfo)(curl, info, target);
}

curl_slist* curl_slist_append(curl_slist* list, const char* text) {
    return loaded() ? LIBCURL(curl_slist_append)(list, text) : nullptr;
}

void curl_slist_free_all(curl_slist* list) {
    if (list) LIBCURL(curl_slist_free_all)(list);
}

}  // extern "C"
