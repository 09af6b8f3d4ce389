// Fault switches: ways the simulator misbehaves on purpose so that tests can
// prove a caller survives a bad device library. They come from one
// environment variable, read again on every call, so a test can change them
// between calls. simulator/README.md lists them.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace kro::sim {

inline constexpr const char* kFaultsVariable = "KROSIM_FAULTS";
// The file `reentrancy` and `affinity` append their records to.
inline constexpr const char* kReentrancyLogVariable = "KROSIM_REENTRANCY_LOG";
// A file holding more switches, read again on every call like the variable:
// a test changes the faults of a program that is already running.
inline constexpr const char* kFaultsFileVariable = "KROSIM_FAULTS_FILE";
// The file every crash and hang the switches make is recorded in, one line
// each: the wall-clock milliseconds, the export, "crash" or "hang"; and
// "answered" when a hung call returns after all.
inline constexpr const char* kFaultLogVariable = "KROSIM_FAULT_LOG";

// The calls `hang=NAME` can stop and `crash=NAME` can fault in, one bit each.
enum HangCall : unsigned {
    kHangCheck = 1u << 0,    // check: KRO_Check_Kro_Device
    kHangList = 1u << 1,     // list: KRO_Get_File_Cnt and KRO_Get_File_List_tt
    kHangInfo = 1u << 2,     // info: KRO_Get_File_Index_Info
    kHangAvi = 1u << 3,      // avi: KRO_Make_Avi_File
    kHangBackup = 1u << 4,   // backup: KRO_Make_Kro_File
    kHangPicture = 1u << 5,  // picture: KRO_Make_Picture_File
};
inline constexpr int kHangCallKinds = 6;

struct Faults {
    int slowMilliseconds = 0;        // slow=MS: every called export waits first
    int listOvercount = 0;           // overcount[=K]: list returns capacity + K
    int listNegative = 0;            // negative-count[=K]: list returns -K
    bool unterminatedNames = false;  // unterminated: names fill all 16 bytes
    bool hostileNames = false;       // hostile: names a file system must not take
    std::int64_t pictureLength = 0;  // big-picture[=BYTES]: reported picture length
    bool createFails = false;        // create-fails: KRO_Create returns 0
    bool conversionsFail = false;    // convert-fails: the three Make calls fail
    int cardPeriodMilliseconds = 0;  // flaky-card=MS: card present MS, absent MS, ...
    bool reentrancy = false;         // reentrancy: record a call entering while another is inside
    bool threadAffinity = false;     // affinity: record a call from a thread other than KRO_Create's
    unsigned hangCalls = 0;          // hang=NAME (repeatable): those calls do not return
    std::int64_t hangUntilMilliseconds = 0;  // hang-until=MS: no hang from that wall-clock time on
    unsigned crashCalls = 0;         // crash=NAME (repeatable): those calls fault (an access violation)
    int pictureOverrun = 0;          // overrun[=BYTES]: the picture call writes past the 1 MiB buffer
    std::uint64_t randomSeed = 0;    // random=SEED: the seed of the draws below
    // crash-rate=CALL:N and hang-rate=CALL:N: per mille of that kind's calls
    // that fault or hang, drawn from the seed; indexed by the call's bit.
    std::array<int, kHangCallKinds> crashRate{};
    std::array<int, kHangCallKinds> hangRate{};

    bool HangsAtRandom(unsigned callBit) const;
};

enum class RandomFault { None, Crash, Hang };
// What the draw numbered `draw` of a call of that kind does under the rates:
// the same seed and draw give the same answer.
RandomFault DrawRandomFault(const Faults& faults, unsigned callBit, std::uint64_t draw);

// Parses "name[=value],name[=value],...". Unknown names and malformed values
// are ignored; values are clamped to sane ranges.
Faults ParseFaults(std::string_view text);
// The switches currently set: the variable's, then the file's.
Faults CurrentFaults();

}  // namespace kro::sim
