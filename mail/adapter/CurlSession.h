#pragma once
// One libcurl easy handle set up for a mail server: credentials, TLS, certificate
// checks and timeouts. The handle keeps its connection open between transfers.

#include <QByteArray>
#include <QString>
#include <atomic>

#include "CurlHandle.h"
#include "ServerAddress.h"
#include "Timeouts.h"

namespace mail {

class CurlSession {
public:
    // Once *ending holds, transfers stop and the connection is dropped without a QUIT.
    CurlSession(ServerAddress server, QString user, QString password, Timeouts timeouts,
                const std::atomic<bool>* ending = nullptr);
    ~CurlSession();
    CurlSession(const CurlSession&) = delete;
    CurlSession& operator=(const CurlSession&) = delete;

    struct Transfer {
        QString path;                        // appended to the server URL, e.g. "/3"
        const char* command = nullptr;       // CURLOPT_CUSTOMREQUEST
        bool noBody = false;                 // single-line commands
        QByteArray* body = nullptr;          // receives the transferred data
        const QByteArray* upload = nullptr;  // data to send (an SMTP message)
    };

    // Runs one transfer; false with error() set on failure.
    bool Perform(const Transfer& transfer);
    // Closes the connection politely (QUIT), unless the program is ending.
    void Close();
    // Drops the connection without a QUIT.
    void Abort();
    CURL* handle();
    const QString& error() const { return error_; }
    // libcurl's result of the last transfer.
    CURLcode code() const { return code_; }
    bool ending() const;

private:
    ServerAddress server_;
    QString user_, password_;
    Timeouts timeouts_;
    const std::atomic<bool>* ending_;
    CurlEasy handle_;
    char errorBuffer_[CURL_ERROR_SIZE] = {};
    QString error_;
    CURLcode code_ = CURLE_OK;
};

}  // namespace mail
