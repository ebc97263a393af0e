#pragma once
// "Now" for the status time and for mails whose date cannot be read; tests fix it.

#include <QDateTime>

namespace core {

class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime Now() const { return QDateTime::currentDateTime(); }

    static const Clock& System() {
        static const Clock clock;
        return clock;
    }
};

}  // namespace core
