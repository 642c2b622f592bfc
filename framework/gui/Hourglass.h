#pragma once

#include <QApplication>

// The hourglass for as long as it lives: an override cursor that an exception cannot leave
// behind. Long work holds one on the stack; work that spans events holds one in an optional.
class THourglass
{
public:
    THourglass() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~THourglass() { QApplication::restoreOverrideCursor(); }
    THourglass(const THourglass &) = delete;
    THourglass &operator=(const THourglass &) = delete;
};
