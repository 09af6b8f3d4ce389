// Calls into the device library through CallExport: on 32-bit x86 through the
// assembly shim, which must return the export's result and leave the stack
// pointer where it was whether the export is __cdecl or __stdcall.
#include <gtest/gtest.h>

#include <cstdint>

#include "device/kro_call.h"

namespace {

#if defined(__i386__)
#define KRO_TEST_CDECL __attribute__((cdecl))
#define KRO_TEST_STDCALL __attribute__((stdcall))
#else
#define KRO_TEST_CDECL
#define KRO_TEST_STDCALL
#endif

// The shapes of the program's calls: no argument, a handle and a byte, and
// the list call's seven arguments with pointers.
template <typename Convention>
struct Exports;

struct Cdecl {};
struct Stdcall {};

// The same three exports, compiled with the given convention.
#define KRO_TEST_EXPORTS(Convention, CALLING)                                                                \
    template <>                                                                                           \
    struct Exports<Convention> {                                                                          \
        static std::int32_t CALLING Create() { return 4711; }                                            \
        static std::int32_t CALLING Count(std::int32_t handle, std::uint8_t category) {                  \
            return handle * 10 + category;                                                                \
        }                                                                                                 \
        static std::int32_t CALLING List(std::int32_t handle, std::uint8_t category, std::int32_t capacity, \
                                         char* entries, std::int32_t* auxiliary, std::uint32_t* sizes,   \
                                         std::int32_t* durations) {                                      \
            entries[0] = static_cast<char>('A' + category);                                               \
            *auxiliary = handle;                                                                          \
            *sizes = 0xFFFFFFFFu;                                                                         \
            *durations = -capacity;                                                                       \
            return capacity - 1;                                                                          \
        }                                                                                                 \
    };
KRO_TEST_EXPORTS(Cdecl, KRO_TEST_CDECL)
KRO_TEST_EXPORTS(Stdcall, KRO_TEST_STDCALL)

std::uintptr_t StackPointer() {
    std::uintptr_t sp = 0;
#if defined(__i386__)
    asm volatile("mov %%esp, %0" : "=r"(sp));
#elif defined(__x86_64__)
    asm volatile("mov %%rsp, %0" : "=r"(sp));
#endif
    return sp;
}

template <typename Convention>
class CallShim : public ::testing::Test {};
using Conventions = ::testing::Types<Cdecl, Stdcall>;
TYPED_TEST_SUITE(CallShim, Conventions);

TYPED_TEST(CallShim, PassesArgumentsReturnsTheResultAndKeepsTheStackBalanced) {
    using E = Exports<TypeParam>;
    using CreateFn = std::int32_t (*)();
    using CountFn = std::int32_t (*)(std::int32_t, std::uint8_t);
    using ListFn = std::int32_t (*)(std::int32_t, std::uint8_t, std::int32_t, char*, std::int32_t*,
                                    std::uint32_t*, std::int32_t*);
    char entries[4] = {};
    std::int32_t auxiliary = 0;
    std::uint32_t sizes = 0;
    std::int32_t durations = 0;

    // Many calls: a shim that left the stack a few bytes off would drift far.
    for (int i = 0; i < 1000; ++i) {
        const std::uintptr_t before = StackPointer();
        const std::int32_t created = kro::CallExport<CreateFn>(reinterpret_cast<void*>(&E::Create));
        const std::int32_t counted = kro::CallExport<CountFn>(reinterpret_cast<void*>(&E::Count),
                                                              std::int32_t{7}, std::uint8_t{3});
        const std::int32_t listed = kro::CallExport<ListFn>(
            reinterpret_cast<void*>(&E::List), std::int32_t{9}, std::uint8_t{2}, std::int32_t{500}, entries,
            &auxiliary, &sizes, &durations);
        const std::uintptr_t after = StackPointer();
        ASSERT_EQ(before, after) << "call " << i;
        ASSERT_EQ(created, 4711);
        ASSERT_EQ(counted, 73);
        ASSERT_EQ(listed, 499);
    }
    EXPECT_EQ(entries[0], 'C');
    EXPECT_EQ(auxiliary, 9);
    EXPECT_EQ(sizes, 0xFFFFFFFFu);
    EXPECT_EQ(durations, -500);
}

}  // namespace
