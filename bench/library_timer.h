// A module loader for benchmarks: the platform's loader, except that the
// device library's exports the program calls during a list load or an export
// are handed out as wrappers that add the time spent inside the library to
// one counter. A benchmark then splits a run's time between the library and
// the program in that same run.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>

#include "device/kro_api.h"
#include "device/module_loader.h"

namespace kro::bench {

inline std::atomic<std::int64_t> libraryNanoseconds{0};

// One wrapper per export signature, keeping the real entry point.
template <typename Fn, int Slot>
struct TimedExport;

template <typename Result, typename... Args, int Slot>
struct TimedExport<Result(KRO_CALL*)(Args...), Slot> {
    using Fn = Result(KRO_CALL*)(Args...);
    static inline Fn real = nullptr;
    static Result KRO_CALL Call(Args... arguments) {
        const auto start = std::chrono::steady_clock::now();
        const Result result = real(arguments...);
        libraryNanoseconds +=
            std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start)
                .count();
        return result;
    }
};

class LibraryTimingLoader final : public ModuleLoader {
public:
    Module Load(const std::string& path) override { return system_.Load(path); }
    void Free(Module module) override { system_.Free(module); }
    std::string ExecutablePath() override { return system_.ExecutablePath(); }

    void* Symbol(Module module, const char* name) override {
        void* entry = system_.Symbol(module, name);
        if (entry == nullptr) return nullptr;
        void* timed = nullptr;
        Wrap<KroGetFileFlagFn, 0>(name, "KRO_Get_File_Flag", entry, timed);
        Wrap<KroGetFileCountFn, 1>(name, "KRO_Get_File_Cnt", entry, timed);
        Wrap<KroGetFileListFn, 2>(name, "KRO_Get_File_List_tt", entry, timed);
        Wrap<KroMakeFileFn, 3>(name, "KRO_Make_Avi_File", entry, timed);
        Wrap<KroMakeFileFn, 4>(name, "KRO_Make_Kro_File", entry, timed);
        Wrap<KroMakePictureFileFn, 5>(name, "KRO_Make_Picture_File", entry, timed);
        return timed != nullptr ? timed : entry;
    }

private:
    template <typename Fn, int Slot>
    static void Wrap(const char* name, const char* wanted, void* entry, void*& timed) {
        if (std::strcmp(name, wanted) != 0) return;
        TimedExport<Fn, Slot>::real = reinterpret_cast<Fn>(entry);
        timed = reinterpret_cast<void*>(&TimedExport<Fn, Slot>::Call);
    }

    ModuleLoader& system_ = SystemModuleLoader();
};

}  // namespace kro::bench
