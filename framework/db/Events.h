#pragma once

#include <functional>
#include <utility>

// A handler slot that remembers whom it belongs to. Components that temporarily put their own
// handler in place of another's (and later give the slot back) need to tell the two apart, which a
// bare std::function cannot do.
template <class... Args> class TEvent
{
public:
    using Function = std::function<void(Args...)>;

    TEvent() = default;
    TEvent(Function function, const void *target = nullptr) : FFunction(std::move(function)), FTarget(target)
    {}

    explicit operator bool() const { return bool(FFunction); }
    void operator()(Args... args) const
    {
        if (FFunction)
            FFunction(std::forward<Args>(args)...);
    }

    // The object that installed the handler, or null when nobody said.
    const void *Target() const { return FTarget; }
    void Clear()
    {
        FFunction = nullptr;
        FTarget = nullptr;
    }

private:
    Function FFunction;
    const void *FTarget = nullptr;
};
