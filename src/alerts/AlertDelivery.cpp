#include "alerts/AlertDelivery.h"

#include <curl/curl.h>

#include <QByteArrayList>
#include <algorithm>
#include <cstring>
#include <vector>

#include "alerts/AlertSettings.h"

namespace {

struct Upload {
    const QByteArray* bytes;
    qsizetype offset = 0;
};

size_t readUpload(char* buffer, size_t size, size_t count, void* data) {
    auto* upload = static_cast<Upload*>(data);
    const size_t left = size_t(upload->bytes->size() - upload->offset);
    const size_t n = std::min(left, size * count);
    std::memcpy(buffer, upload->bytes->constData() + upload->offset, n);
    upload->offset += qsizetype(n);
    return n;
}

// What a webhook receiver may answer: its headers and as much of its body are read, no more.
constexpr size_t kMaxHeaderBytes = 16 * 1024;
constexpr size_t kMaxBodyBytes = 64 * 1024;

struct Answer {
    size_t headerBytes = 0;
    size_t bodyBytes = 0;
    bool cut = false;  // the body went on past kMaxBodyBytes and was not read further
};

// Returning less than was given ends the transfer.
size_t countHeader(char*, size_t size, size_t count, void* data) {
    auto* answer = static_cast<Answer*>(data);
    answer->headerBytes += size * count;
    return answer->headerBytes > kMaxHeaderBytes ? 0 : size * count;
}

size_t countBody(char*, size_t size, size_t count, void* data) {
    auto* answer = static_cast<Answer*>(data);
    answer->bodyBytes += size * count;
    answer->cut = answer->bodyBytes > kMaxBodyBytes;
    return answer->cut ? 0 : size * count;
}

// Ends a transfer when the sender stops.
int progress(void* stopping, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<const std::atomic<bool>*>(stopping)->load() ? 1 : 0;
}

// One transfer's handle with the settings both ways share: certificates always verified.
class Transfer {
public:
    Transfer(const AlertSettings& settings, int seconds, const std::atomic<bool>* stopping)
        : curl_(curl_easy_init()) {
        if (!curl_) return;
        curl_easy_setopt(curl_, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl_, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(curl_, CURLOPT_SSL_VERIFYHOST, 2L);
        curl_easy_setopt(curl_, CURLOPT_CONNECTTIMEOUT, long(std::min(seconds, 10)));
        curl_easy_setopt(curl_, CURLOPT_TIMEOUT, long(seconds));
        curl_easy_setopt(curl_, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(curl_, CURLOPT_XFERINFOFUNCTION, progress);
        curl_easy_setopt(curl_, CURLOPT_XFERINFODATA,
                         const_cast<void*>(static_cast<const void*>(stopping)));
        if (!settings.caFile.isEmpty()) {
            caFile_ = settings.caFile.toUtf8();
            curl_easy_setopt(curl_, CURLOPT_CAINFO, caFile_.constData());
        }
    }
    ~Transfer() {
        curl_slist_free_all(list_);
        curl_easy_cleanup(curl_);
    }
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

    CURL* get() const { return curl_; }
    // Keeps the text for the transfer's life.
    const char* keep(const QByteArray& text) {
        kept_.push_back(text);
        return kept_.back().constData();
    }
    curl_slist* list(const QByteArrayList& items) {
        for (const QByteArray& item : items) list_ = curl_slist_append(list_, keep(item));
        return list_;
    }
    QString perform() {
        if (!curl_) return QStringLiteral("libcurl을 쓸 수 없습니다");
        const CURLcode rc = curl_easy_perform(curl_);
        return rc == CURLE_OK ? QString() : QString::fromUtf8(curl_easy_strerror(rc));
    }

private:
    CURL* curl_;
    curl_slist* list_ = nullptr;
    QByteArray caFile_;
    std::vector<QByteArray> kept_;
};

// The address inside a From or To entry ("이름 <a@b>" or "a@b").
QByteArray address(const QString& entry) {
    const qsizetype open = entry.indexOf(QLatin1Char('<'));
    const qsizetype close = entry.indexOf(QLatin1Char('>'), open);
    const QString bare = open >= 0 && close > open ? entry.mid(open + 1, close - open - 1) : entry;
    return "<" + bare.trimmed().toUtf8() + ">";
}

}  // namespace

QString alertDelivery::sendMail(const AlertSettings& settings, const QByteArray& mail, int seconds,
                                const std::atomic<bool>& stopping) {
    Transfer t(settings, seconds, &stopping);
    CURL* curl = t.get();
    if (!curl) return t.perform();
    curl_easy_setopt(curl, CURLOPT_URL, t.keep(settings.smtp.toUtf8()));
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    // smtp:// goes on only after STARTTLS; smtps:// is TLS from the start.
    curl_easy_setopt(curl, CURLOPT_USE_SSL, long(CURLUSESSL_ALL));
    if (!settings.user.isEmpty()) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, t.keep(settings.user.toUtf8()));
        curl_easy_setopt(curl, CURLOPT_PASSWORD, t.keep(settings.password.toUtf8()));
    }
    curl_easy_setopt(curl, CURLOPT_MAIL_FROM, t.keep(address(settings.from)));
    QByteArrayList to;
    for (const QString& entry : settings.to) to << address(entry);
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, t.list(to));
    Upload upload{&mail};
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, readUpload);
    curl_easy_setopt(curl, CURLOPT_READDATA, static_cast<void*>(&upload));
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    return t.perform();
}

QString alertDelivery::post(const AlertSettings& settings, const QByteArray& json, int seconds,
                            const std::atomic<bool>& stopping) {
    Transfer t(settings, seconds, &stopping);
    CURL* curl = t.get();
    if (!curl) return t.perform();
    curl_easy_setopt(curl, CURLOPT_URL, t.keep(settings.webhook.toUtf8()));
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "https");
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, json.constData());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, long(json.size()));
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER,
                     t.list({QByteArrayLiteral("Content-Type: application/json; charset=utf-8")}));
    // A receiver that answers without end costs a bounded read, not the whole transfer time.
    Answer answer;
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, countHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, static_cast<void*>(&answer));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, countBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, static_cast<void*>(&answer));
    const QString failed = t.perform();
    if (answer.headerBytes > kMaxHeaderBytes) return QStringLiteral("웹훅의 답 머리가 너무 깁니다");
    // Its status is in: an answer cut short still says whether the alert was taken.
    if (!failed.isEmpty() && !answer.cut) return failed;
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || status > 299)
        return QStringLiteral("웹훅이 HTTP %1로 답했습니다").arg(status);
    return {};
}
