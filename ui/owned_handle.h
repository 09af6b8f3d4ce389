// Move-only owners of Win32 handles. Each kind names its "empty" value and how
// it is released, so a handle is closed exactly once, by its last owner.
#pragma once

#include <windows.h>

#include <commctrl.h>

namespace kro::ui {

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
        if (IsValid()) Traits::Close(handle_);
        handle_ = handle;
    }

private:
    Handle handle_ = Traits::Empty();
};

struct FontTraits {
    using Handle = HFONT;
    static Handle Empty() noexcept { return nullptr; }
    static void Close(Handle handle) noexcept { DeleteObject(handle); }
};

struct ImageListTraits {
    using Handle = HIMAGELIST;
    static Handle Empty() noexcept { return nullptr; }
    static void Close(Handle handle) noexcept { ImageList_Destroy(handle); }
};

struct MenuTraits {
    using Handle = HMENU;
    static Handle Empty() noexcept { return nullptr; }
    static void Close(Handle handle) noexcept { DestroyMenu(handle); }
};

struct ModuleTraits {
    using Handle = HMODULE;
    static Handle Empty() noexcept { return nullptr; }
    static void Close(Handle handle) noexcept { FreeLibrary(handle); }
};

// Kernel objects whose creators report failure with null (mutex, event,
// thread, process).
struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle Empty() noexcept { return nullptr; }
    static void Close(Handle handle) noexcept { CloseHandle(handle); }
};

// Handles from CreateFile, which reports failure with INVALID_HANDLE_VALUE.
struct FileHandleTraits {
    using Handle = HANDLE;
    static Handle Empty() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Handle handle) noexcept { CloseHandle(handle); }
};

using Font = OwnedHandle<FontTraits>;
using ImageList = OwnedHandle<ImageListTraits>;
using Menu = OwnedHandle<MenuTraits>;
using Module = OwnedHandle<ModuleTraits>;
using KernelHandle = OwnedHandle<KernelHandleTraits>;
using FileHandle = OwnedHandle<FileHandleTraits>;

}  // namespace kro::ui
