#pragma once
// A link in the main window's procedure chain: the minimise hook puts itself in front
// of the window's own procedure and hands every message on.

#include <cstdint>

namespace core {

class WindowProcedure {
public:
    virtual ~WindowProcedure() = default;
    virtual std::intptr_t Call(std::uint32_t message, std::intptr_t wParam,
                               std::intptr_t lParam) = 0;
};

}  // namespace core
