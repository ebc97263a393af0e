#include "Pop3Session.h"
namespace mail {
Pop3Session::Pop3Session(ServerAddress, QString, QString, Timeouts, Limits, const std::atomic<bool>*) {}
Pop3Session::~Pop3Session() = default;
Status Pop3Session::Open() { return Error{Error::Kind::Failed, "stub"}; }
bool Pop3Session::Pipelining() const { return false; }
Result<std::vector<Pop3Listed>> Pop3Session::List() { return Error{}; }
void Pop3Session::RequestRetr(int, qint64) {}
Result<QByteArray> Pop3Session::NextRetr() { return Error{}; }
Result<QByteArray> Pop3Session::Top(int, int) { return Error{}; }
Status Pop3Session::DeleteAndQuit(const std::vector<int>&) { return Error{}; }
void Pop3Session::Abort() {}
int Pop3Session::ConnectionsOpened() const { return 0; }
}
