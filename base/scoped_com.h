#pragma once
// Owners for COM: an interface pointer released exactly once, and this
// thread's membership of a COM apartment, left exactly once.

#include <windows.h>

#include <objbase.h>

#include "base/scoped.h"

template <typename Interface>
struct ComPointerTraits {
    using Handle = Interface*;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle p) { return p != nullptr; }
    static void Close(Handle p) { p->Release(); }
};

// Takes over the reference it is given: reset(p) after a call that hands out
// a new reference (CoCreateInstance, Activate, QueryInterface).
template <typename Interface>
using ScopedCom = Scoped<ComPointerTraits<Interface>>;

// CoInitialize and its matching CoUninitialize. An apartment that another
// part of the thread set up in the other model (RPC_E_CHANGED_MODE) can be
// used, but it is not ours to leave.
class ScopedComApartment {
public:
    ScopedComApartment() = default;
    ~ScopedComApartment() { Leave(); }

    ScopedComApartment(const ScopedComApartment&) = delete;
    ScopedComApartment& operator=(const ScopedComApartment&) = delete;

    // True when COM can be used on this thread.
    bool Enter()
    {
        if (m_entered) {
            return true;
        }
        HRESULT hr = CoInitialize(nullptr);
        if (SUCCEEDED(hr)) {
            m_entered = true;
            return true;
        }
        return hr == RPC_E_CHANGED_MODE;
    }

    void Leave()
    {
        if (m_entered) {
            m_entered = false;
            CoUninitialize();
        }
    }

private:
    bool m_entered = false;
};
