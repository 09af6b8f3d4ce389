// Calling an export of the device library whatever its calling convention.
//
// A closed library may have been built with __cdecl (the caller removes the
// arguments) or __stdcall (the export removes them); nothing in the DLL says
// which. On 32-bit x86 every call therefore goes through KroCallShim, which
// pushes the arguments itself and, after the call, puts the stack pointer
// back where it was, so the stack balances whichever side popped them (the
// same guard debug runtimes use to detect a mismatched convention). x86-64
// has one convention and calls the export directly.
//
// Every argument of the ten called exports is a 32-bit value on x86: a
// handle, an int32, a pointer, or a category byte widened as the caller of a
// C function widens it.
#pragma once

#include <cstdint>
#include <type_traits>

#if defined(__i386__) || defined(_M_IX86)
#define KRO_CALL_SHIM 1
// device/kro_call_shim_x86.S (GNU as) or kro_call_shim_x86.asm (MASM):
// calls entry with count 32-bit arguments, arguments[0] first, and returns
// its 32-bit result with the caller's stack pointer restored.
extern "C" std::int32_t KroCallShim(const void* entry, const std::uint32_t* arguments, std::uint32_t count);
#else
#define KRO_CALL_SHIM 0
#endif

namespace kro {

#if KRO_CALL_SHIM
template <typename T>
std::uint32_t ShimArgument(T value) {
    if constexpr (std::is_pointer_v<T>) {
        return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(value));
    } else {
        static_assert(std::is_integral_v<T> && sizeof(T) <= 4, "exports take 32-bit arguments");
        return static_cast<std::uint32_t>(value);
    }
}
#endif

// Calls `entry`, an export of type Fn, with `arguments`.
template <typename Fn, typename... Args>
std::int32_t CallExport(void* entry, Args... arguments) {
#if KRO_CALL_SHIM
    // One spare element keeps the array non-empty for KRO_Create.
    const std::uint32_t words[sizeof...(Args) + 1] = {ShimArgument(arguments)..., 0};
    return KroCallShim(entry, words, sizeof...(Args));
#else
    return reinterpret_cast<Fn>(entry)(arguments...);
#endif
}

}  // namespace kro
