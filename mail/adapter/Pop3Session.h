#pragma once
// PLACEHOLDER until the session lands: the interface as agreed.
#include "Limits.h"
#include "Result.h"
#include "ServerAddress.h"
#include "Timeouts.h"

#include <QByteArray>
#include <atomic>
#include <vector>

namespace mail {
struct Pop3Listed { int number; QByteArray uid; qint64 size; };
class Pop3Session {
public:
    Pop3Session(ServerAddress server, QString user, QString password, Timeouts timeouts,
                Limits limits, const std::atomic<bool>* ending);
    ~Pop3Session();
    Status Open();
    bool Pipelining() const;
    Result<std::vector<Pop3Listed>> List();
    void RequestRetr(int number, qint64 listedSize);
    Result<QByteArray> NextRetr();
    Result<QByteArray> Top(int number, int lines);
    Status DeleteAndQuit(const std::vector<int>& numbers);
    void Abort();
    int ConnectionsOpened() const;
};
}  // namespace mail
