#pragma once

#include "SysUtils.h"

// Every failure of the data-access layer: the engine's own message, or the layer's text for a
// misuse (a closed data set, a field that does not exist).
class EDatabaseError : public Exception
{
public:
    using Exception::Exception;
};
