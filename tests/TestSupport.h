#pragma once

#include "DatabaseError.h"

#include <QString>

#include <functional>

// The message of the database error an operation raises; empty when it raises none.
inline QString ErrorOf(const std::function<void()> &operation)
{
    try {
        operation();
    } catch (const EDatabaseError &error) {
        return error.Message();
    }
    return QString();
}
