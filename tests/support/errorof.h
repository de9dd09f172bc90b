#pragma once

#include "store/error.h"

#include <QString>

#include <functional>

namespace kelvara::test {

// The message of the error a step throws, or an empty text when it throws none.
inline QString errorOf(const std::function<void()> &step)
{
    try {
        step();
    } catch (const Error &error) {
        return error.message();
    }
    return QString();
}

}  // namespace kelvara::test
