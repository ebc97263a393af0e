#pragma once
// Errors as values: a transfer returns what it got or why it failed, never both.

#include <QString>
#include <utility>
#include <variant>

namespace net {

struct Error {
    enum class Kind {
        Failed,          // the server or the connection failed; the session is not used again
        TooLarge,        // a message went past the size limit
        Ending,          // the program is ending
        Refused,         // the server refused this request; the session stays usable
        Authentication,  // the server refused the credentials; the session is not used again
    };
    Kind kind = Kind::Failed;
    QString message;  // why, with the server's own text where it gave one
    int code = 0;     // the server's reply code where it gave one (SMTP)
    // Sending the same request again would fail again: the server refused it for good.
    bool permanent = false;
};

template <class T>
class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::move(value)) {}
    Result(Error error) : state_(std::move(error)) {}

    explicit operator bool() const { return state_.index() == 0; }
    T& value() { return std::get<0>(state_); }
    const T& value() const { return std::get<0>(state_); }
    const Error& error() const { return std::get<1>(state_); }

private:
    std::variant<T, Error> state_;
};

// A step that yields nothing but success or an error.
struct Done {};
using Status = Result<Done>;

}  // namespace net
