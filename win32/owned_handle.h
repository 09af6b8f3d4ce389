// Move-only owners of Win32 handles, for the platform adapters and the
// windows alike. Each kind names its "empty" value and how it is released, so
// a handle is closed exactly once, by its last owner; Close says whether the
// system reported the release done, for the callers that must know (a file
// whose last bytes reach the disk only at its close).
#pragma once

#include <windows.h>

#include <commctrl.h>

namespace kro::win32 {

template <typename Traits>
class OwnedHandle {
public:
    using Handle = typename Traits::Handle;

    OwnedHandle() noexcept = default;
    explicit OwnedHandle(Handle handle) noexcept : handle_(handle) {}
    ~OwnedHandle() { Reset(); }

    OwnedHandle(OwnedHandle&& other) noexcept : handle_(other.Release()) {}
    OwnedHandle& operator=(OwnedHandle&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;

    Handle Get() const noexcept { return handle_; }
    bool IsValid() const noexcept { return handle_ != Traits::Empty(); }
    explicit operator bool() const noexcept { return IsValid(); }

    // Gives the handle up without closing it.
    Handle Release() noexcept {
        Handle handle = handle_;
        handle_ = Traits::Empty();
        return handle;
    }

    // Closes the handle held (if any) and takes the new one.
    void Reset(Handle handle = Traits::Empty()) noexcept {
        if (handle == handle_) return;
        if (IsValid()) static_cast<void>(Traits::Close(handle_));
        handle_ = handle;
    }

    // Closes the handle now and leaves the owner empty. True when nothing
    // was held or the system reports the handle closed.
    bool Close() noexcept {
        if (!IsValid()) return true;
        return Traits::Close(Release());
    }

private:
    Handle handle_ = Traits::Empty();
};

struct FontTraits {
    using Handle = HFONT;
    static Handle Empty() noexcept { return nullptr; }
    static bool Close(Handle handle) noexcept { return DeleteObject(handle) != FALSE; }
};

struct ImageListTraits {
    using Handle = HIMAGELIST;
    static Handle Empty() noexcept { return nullptr; }
    static bool Close(Handle handle) noexcept { return ImageList_Destroy(handle) != FALSE; }
};

struct MenuTraits {
    using Handle = HMENU;
    static Handle Empty() noexcept { return nullptr; }
    static bool Close(Handle handle) noexcept { return DestroyMenu(handle) != FALSE; }
};

struct ModuleTraits {
    using Handle = HMODULE;
    static Handle Empty() noexcept { return nullptr; }
    static bool Close(Handle handle) noexcept { return FreeLibrary(handle) != FALSE; }
};

// Kernel objects whose creators report failure with null (mutex, event,
// thread, process).
struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle Empty() noexcept { return nullptr; }
    static bool Close(Handle handle) noexcept { return CloseHandle(handle) != FALSE; }
};

// Handles from CreateFile, which reports failure with INVALID_HANDLE_VALUE.
struct FileHandleTraits {
    using Handle = HANDLE;
    static Handle Empty() noexcept { return INVALID_HANDLE_VALUE; }
    static bool Close(Handle handle) noexcept { return CloseHandle(handle) != FALSE; }
};

// The screen's device context (GetDC(nullptr)).
struct ScreenDcTraits {
    using Handle = HDC;
    static Handle Empty() noexcept { return nullptr; }
    static bool Close(Handle handle) noexcept { return ReleaseDC(nullptr, handle) == 1; }
};

using Font = OwnedHandle<FontTraits>;
using ImageList = OwnedHandle<ImageListTraits>;
using Menu = OwnedHandle<MenuTraits>;
using Module = OwnedHandle<ModuleTraits>;
using KernelHandle = OwnedHandle<KernelHandleTraits>;
using FileHandle = OwnedHandle<FileHandleTraits>;
using ScreenDc = OwnedHandle<ScreenDcTraits>;

}  // namespace kro::win32
