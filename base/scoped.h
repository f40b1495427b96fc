#pragma once
// Small owners for Win32 resources: each closes its one handle exactly once.

#include <windows.h>

#include <utility>

template <typename Traits>
class Scoped {
public:
    using Handle = typename Traits::Handle;

    Scoped() = default;
    explicit Scoped(Handle h) : m_h(h) {}
    ~Scoped() { reset(); }

    Scoped(const Scoped&) = delete;
    Scoped& operator=(const Scoped&) = delete;
    Scoped(Scoped&& other) noexcept : m_h(other.release()) {}
    Scoped& operator=(Scoped&& other) noexcept
    {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }

    Handle get() const { return m_h; }
    explicit operator bool() const { return Traits::IsValid(m_h); }

    Handle release() { return std::exchange(m_h, Traits::Invalid()); }
    void reset(Handle h = Traits::Invalid())
    {
        Handle old = std::exchange(m_h, h);
        if (Traits::IsValid(old)) {
            Traits::Close(old);
        }
    }

private:
    Handle m_h = Traits::Invalid();
};

// Kernel handles that use null for "none" (events, mutexes, threads, processes).
struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { CloseHandle(h); }
};
using ScopedHandle = Scoped<KernelHandleTraits>;

struct ModuleTraits {
    using Handle = HMODULE;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { FreeLibrary(h); }
};
using ScopedModule = Scoped<ModuleTraits>;

struct RegKeyTraits {
    using Handle = HKEY;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { RegCloseKey(h); }
};
using ScopedRegKey = Scoped<RegKeyTraits>;

struct GdiObjectTraits {
    using Handle = HGDIOBJ;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { DeleteObject(h); }
};
using ScopedGdiObject = Scoped<GdiObjectTraits>;

struct IconTraits {
    using Handle = HICON;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { DestroyIcon(h); }
};
using ScopedIcon = Scoped<IconTraits>;

struct MenuTraits {
    using Handle = HMENU;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { DestroyMenu(h); }
};
using ScopedMenu = Scoped<MenuTraits>;

// Holds a mutex for one scope; a null mutex makes the guard do nothing, as
// the callers want when the mutex could not be created.
class MutexLock {
public:
    explicit MutexLock(HANDLE mutex, DWORD timeout = INFINITE) : m_mutex(mutex)
    {
        if (m_mutex) {
            DWORD rc = WaitForSingleObject(m_mutex, timeout);
            // An abandoned mutex is ours all the same.
            m_held = (rc == WAIT_OBJECT_0 || rc == WAIT_ABANDONED);
        }
    }
    ~MutexLock()
    {
        if (m_held) {
            ReleaseMutex(m_mutex);
        }
    }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

    bool Held() const { return m_held; }

private:
    HANDLE m_mutex;
    bool m_held = false;
};
