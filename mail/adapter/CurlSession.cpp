#include "CurlSession.h"

#include <sys/socket.h>

#include <QUrl>
#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace mail {
namespace {

size_t appendTo(char* data, size_t size, size_t count, void* target) {
    static_cast<QByteArray*>(target)->append(data, static_cast<qsizetype>(size * count));
    return size * count;
}

struct UploadCursor {
    const QByteArray* data;
    qsizetype offset = 0;
};

size_t readFrom(char* buffer, size_t size, size_t count, void* source) {
    auto* cursor = static_cast<UploadCursor*>(source);
    const qsizetype n = std::min<qsizetype>(size * count, cursor->data->size() - cursor->offset);
    std::memcpy(buffer, cursor->data->constData() + cursor->offset, n);
    cursor->offset += n;
    return static_cast<size_t>(n);
}

size_t discard(char*, size_t size, size_t count, void*) { return size * count; }

// libcurl calls this often while data moves and about once a second while it waits.
int stopWhenEnding(void* ending, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<const std::atomic<bool>*>(ending)->load() ? 1 : 0;
}

}  // namespace

CurlSession::CurlSession(ServerAddress server, QString user, QString password, Timeouts timeouts,
                         const std::atomic<bool>* ending)
    : server_(std::move(server)),
      user_(std::move(user)),
      password_(std::move(password)),
      timeouts_(timeouts),
      ending_(ending) {}

CurlSession::~CurlSession() { Close(); }

bool CurlSession::ending() const { return ending_ && ending_->load(); }

void CurlSession::Close() {
    // A polite QUIT waits for the server's answer; an ending program does not wait.
    if (ending()) Abort();
    handle_.reset();
}

CURL* CurlSession::handle() {
    if (handle_) return handle_.get();
    handle_.reset(curl_easy_init());
    CURL* curl = handle_.get();
    if (!curl) return nullptr;
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer_);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, timeouts_.connectSeconds);
    curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, timeouts_.idleSeconds);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, timeouts_.idleSeconds);
    if (ending_) {
        curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, stopWhenEnding);
        curl_easy_setopt(curl, CURLOPT_XFERINFODATA, ending_);
        curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    }
    // A connection that may carry credentials must be encrypted: STARTTLS is then required
    // and never falls back to plain text. Loopback and +cleartext servers upgrade when
    // the server offers it.
    curl_easy_setopt(
        curl, CURLOPT_USE_SSL,
        server_.implicitTls || server_.requireTls ? long(CURLUSESSL_ALL) : long(CURLUSESSL_TRY));
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    // OpenSSL's own variable names the trust store where one is given.
    if (const char* caFile = std::getenv("SSL_CERT_FILE"); caFile && *caFile)
        curl_easy_setopt(curl, CURLOPT_CAINFO, caFile);
    if (!user_.isEmpty()) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, user_.toUtf8().constData());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, password_.toUtf8().constData());
    }
    return curl;
}

void CurlSession::Abort() {
    if (!handle_) return;
    curl_socket_t socket = CURL_SOCKET_BAD;
    if (curl_easy_getinfo(handle_.get(), CURLINFO_ACTIVESOCKET, &socket) == CURLE_OK &&
        socket != CURL_SOCKET_BAD)
        ::shutdown(socket, SHUT_RDWR);
    handle_.reset();
}

bool CurlSession::Perform(const Transfer& transfer) {
    if (ending()) {
        error_ = QStringLiteral("the program is ending");
        return false;
    }
    CURL* curl = handle();
    if (!curl) {
        error_ = QStringLiteral("libcurl could not be initialised");
        return false;
    }
    const QByteArray url = (server_.url + transfer.path).toUtf8();
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, transfer.command);
    curl_easy_setopt(curl, CURLOPT_NOBODY, transfer.noBody ? 1L : 0L);
    UploadCursor cursor{transfer.upload};
    curl_easy_setopt(curl, CURLOPT_UPLOAD, transfer.upload ? 1L : 0L);
    if (transfer.upload) {
        curl_easy_setopt(curl, CURLOPT_READFUNCTION, readFrom);
        curl_easy_setopt(curl, CURLOPT_READDATA, &cursor);
        curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, curl_off_t(transfer.upload->size()));
    }
    // A server that drips a byte now and then must not hold the transfer for ever.
    const curl_off_t bytes = transfer.upload ? transfer.upload->size() : 0;
    curl_easy_setopt(
        curl, CURLOPT_TIMEOUT,
        long(2 * timeouts_.idleSeconds + bytes / std::max(1L, timeouts_.minBytesPerSecond)));
    if (transfer.body) {
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, appendTo);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, transfer.body);
    } else {
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, discard);
    }
    errorBuffer_[0] = '\0';
    const CURLcode code = curl_easy_perform(curl);
    code_ = code;
    if (code == CURLE_OK) {
        error_.clear();
        return true;
    }
    error_ = QString::fromUtf8(errorBuffer_[0] ? errorBuffer_ : curl_easy_strerror(code));
    if (code == CURLE_USE_SSL_FAILED) {
        const QUrl url(server_.url);
        error_ = NoEncryptionOffered(url.host(), url.port(), "STARTTLS", "smtp+cleartext");
    }
    return false;
}

}  // namespace mail
