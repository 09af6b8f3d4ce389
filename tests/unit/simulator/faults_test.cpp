// Each fault switch, through the library, as a caller meets it.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <future>
#include <set>
#include <string>
#include <thread>

#include "simulator/faults.h"
#include "tests/unit/simulator/scoped_env.h"
#include "tests/unit/simulator/sim_test_support.h"

namespace kro::simtest {
namespace {

namespace fs = std::filesystem;

class FaultsTest : public SimulatorTest {
protected:
    void SetUp() override {
        SimulatorTest::SetUp();
        std::vector<TestRecording> card;
        // Five of each category, so every hostile name is handed out.
        for (char letter : {'E', 'I', 'P', 'J'}) {
            for (int i = 0; i < 5; ++i) {
                const std::string name =
                    std::string(1, letter) + std::to_string(i) + (letter == 'J' ? ".JPG" : "");
                card.push_back({name, letter, 1, 2, 2, letter == 'J' ? 0u : 1u});
            }
        }
        WriteCard(card_, 8, card);
    }
};

TEST_F(FaultsTest, SlowDelaysEveryCall) {
    SetFaults("slow=150");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(library_.getFileCount(handle_, 0), 5);
    std::uint8_t value = 0;
    library_.checkDevice(handle_, &value);
    // A lower bound only: the switch promises at least this much waiting.
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
    EXPECT_EQ(value, 8);
}

TEST_F(FaultsTest, OvercountClaimsMoreThanTheCapacityButWritesWithinIt) {
    SetFaults("overcount");
    std::vector<RecordingEntry> entries(4);
    std::memset(entries.data(), 0x5A, entries.size() * sizeof(RecordingEntry));
    std::vector<std::uint32_t> sizes(4, 7);
    EXPECT_EQ(library_.getFileList(handle_, 0, 3, entries.data(), nullptr, sizes.data(), nullptr), 3 + 16);
    EXPECT_EQ(EntryName(entries[2]), "E2");
    EXPECT_EQ(static_cast<unsigned char>(entries[3].name[0]), 0x5A);
    EXPECT_EQ(sizes[3], 7u);
    SetFaults("overcount=1000");
    EXPECT_EQ(library_.getFileList(handle_, 0, 3, entries.data(), nullptr, nullptr, nullptr), 1003);
    EXPECT_EQ(library_.getFileList(handle_, 0, 0, entries.data(), nullptr, nullptr, nullptr), 1000);
}

TEST_F(FaultsTest, NegativeCountReturnsANegativeNumber) {
    SetFaults("negative-count");
    EXPECT_EQ(library_.List(handle_, 1).result, -1);
    SetFaults("negative-count=7, overcount");
    EXPECT_EQ(library_.List(handle_, 1).result, -7);
    EXPECT_EQ(library_.getFileCount(handle_, 1), 5) << "counts stay honest";
}

TEST_F(FaultsTest, UnterminatedNamesFillAllSixteenBytesAndStillNameTheRecording) {
    SetFaults("unterminated");
    const Listing events = library_.List(handle_, 0);
    ASSERT_EQ(events.result, 5);
    for (const RecordingEntry& entry : events.entries)
        EXPECT_TRUE(std::none_of(entry.name, entry.name + 16, [](char c) { return c == '\0'; }));
    const std::string name(events.entries[0].name, 16);
    EXPECT_EQ(name, "E0~~~~~~~~~~~~~~");
    RecordingIndexInfo info{};
    EXPECT_EQ(library_.getFileIndexInfo(handle_, 0, name.c_str(), &info), 1);
    EXPECT_EQ(info.frontFrames, 2);
    EXPECT_EQ(library_.makeAviFile(handle_, name.c_str()), 1);
    EXPECT_EQ(FilesIn(exports_), std::vector<std::string>{name + ".avi"});
}

TEST_F(FaultsTest, HostileNamesAreListedAndExportsStayInTheExportFolder) {
    SetFaults("hostile");
    std::set<std::string> listed;
    std::vector<std::pair<std::uint8_t, std::string>> names;
    for (std::uint8_t category = 0; category < 4; ++category) {
        for (const std::string& name : library_.List(handle_, category).Names()) {
            listed.insert(name);
            names.emplace_back(category, name);
        }
    }
    for (const char* expected : {"../../evil.avi", "..\\..\\EVIL.JPG", "C:\\EVIL.JPG", "CON", "LPT1.avi",
                                 "..", "ctl\x01\x1f.avi", "dot.", "space ", "/tmp/evil.JPG", ""})
        EXPECT_EQ(listed.count(expected), 1u) << expected;
    EXPECT_EQ(listed.size(), 20u) << "every listed name is distinct";

    std::vector<std::uint8_t> buffer(kPictureBufferSize);
    for (const auto& [category, name] : names) {
        std::int32_t size = 0;
        if (category == 3) {
            EXPECT_EQ(library_.makePictureFile(handle_, name.c_str(), &size, buffer.data()), 1) << name;
            EXPECT_EQ(size, static_cast<std::int32_t>(TinyJpegFrame(0).size()));
        } else {
            EXPECT_EQ(library_.makeAviFile(handle_, name.c_str()), 1) << name;
        }
        EXPECT_EQ(library_.makeKroFile(handle_, name.c_str()), 1) << name;
    }
    // Everything written is a plain file directly in the export folder.
    const auto written = FilesIn(exports_);
    EXPECT_EQ(written.size(), 15u + 20u);
    for (const std::string& file : written) {
        EXPECT_EQ(file.find_first_of("/\\:*?\"<>|"), std::string::npos) << file;
        EXPECT_TRUE(std::none_of(file.begin(), file.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 32; }));
        EXPECT_NE(file.back(), '.');
        EXPECT_NE(file.back(), ' ');
    }
    EXPECT_EQ(std::count(written.begin(), written.end(), "_CON.avi"), 1);
    EXPECT_EQ(std::count(written.begin(), written.end(), "_LPT1.avi.avi"), 1);
    EXPECT_EQ(FilesIn(root_.Path()).size(), written.size() + 1 + FilesIn(card_).size() + 1)
        << "nothing outside the card and export folders";
}

TEST_F(FaultsTest, BigPictureReportsALengthBeyondTheBufferWithoutWritingPastIt) {
    SetFaults("big-picture");
    // Room for a guard band after the 1 MiB the caller provides.
    std::vector<std::uint8_t> buffer(kPictureBufferSize + 4096, 0xCC);
    std::int32_t size = 0;
    ASSERT_EQ(library_.makePictureFile(handle_, "J0.JPG", &size, buffer.data()), 1);
    EXPECT_EQ(size, kPictureBufferSize + 1);
    EXPECT_EQ(buffer[0], 0xFF);
    EXPECT_TRUE(std::all_of(buffer.begin() + kPictureBufferSize, buffer.end(),
                            [](std::uint8_t b) { return b == 0xCC; }));
    SetFaults("big-picture=3000000");
    ASSERT_EQ(library_.makePictureFile(handle_, "J0.JPG", &size, buffer.data()), 1);
    EXPECT_EQ(size, 3000000);
}

TEST_F(FaultsTest, OverrunWritesPastTheBufferWhileReportingTheRealLength) {
    SetFaults("overrun=100");
    std::vector<std::uint8_t> buffer(kPictureBufferSize + 4096, 0xCC);
    std::int32_t size = 0;
    ASSERT_EQ(library_.makePictureFile(handle_, "J0.JPG", &size, buffer.data()), 1);
    EXPECT_EQ(size, static_cast<std::int32_t>(TinyJpegFrame(0).size()));
    const auto past = buffer.begin() + kPictureBufferSize;
    EXPECT_TRUE(std::all_of(past, past + 100, [](std::uint8_t b) { return b == 0x5A; }));
    EXPECT_EQ(past[100], 0xCC);
}

// A hung call stays inside for as long as the switch names it (a test in
// the same process can let go by clearing it); other calls go on.
TEST_F(FaultsTest, HangStopsTheNamedCallsOnly) {
    SetFaults("hang=avi,hang=list");
    std::atomic<bool> returned{false};
    std::thread hung([&] {
        library_.makeAviFile(handle_, "E0");
        returned = true;
    });
    std::uint8_t value = 0;
    EXPECT_EQ(library_.checkDevice(handle_, &value), 1);
    RecordingIndexInfo info{};
    EXPECT_EQ(library_.getFileIndexInfo(handle_, 0, "E0", &info), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(returned.load());
    SetFaults("");
    hung.join();
    EXPECT_TRUE(returned.load());

    // With hang-until the hung call comes back by itself at that moment, and
    // later ones do not hang: a library that answers again.
    const auto soon = std::chrono::duration_cast<std::chrono::milliseconds>(
                          (std::chrono::system_clock::now() + std::chrono::milliseconds(300)).time_since_epoch())
                          .count();
    const std::string switches = "hang=avi,hang-until=" + std::to_string(soon);
    SetFaults(switches.c_str());
    auto comesBack = std::async(std::launch::async, [&] { return library_.makeAviFile(handle_, "E0"); });
    const bool cameBack = comesBack.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    if (!cameBack) SetFaults("");  // lets a call that stayed go, so the test ends either way
    EXPECT_TRUE(cameBack) << "the hung call did not return at hang-until";
    EXPECT_EQ(comesBack.get(), 1);
    auto later = std::async(std::launch::async, [&] { return library_.makeAviFile(handle_, "E0"); });
    const bool laterAnswered = later.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    SetFaults("");
    EXPECT_TRUE(laterAnswered) << "a call after the hang's end hung again";
}

// Switches from the file are read on every call beside the variable's, so a
// running program's faults can change; a hang the rates draw stays until no
// rate names its call, and each hang is recorded with its moment.
TEST_F(FaultsTest, SwitchesFromTheFileApplyAtOnceAndHangsAreRecorded) {
    const std::string file = (fs::path(root_.Path()) / "faults.txt").string();
    const std::string log = (fs::path(root_.Path()) / "faults.log").string();
    const ScopedEnv fileVariable(sim::kFaultsFileVariable, file);
    const ScopedEnv logVariable(sim::kFaultLogVariable, log);
    auto write = [&](const char* text) {
        std::FILE* out = std::fopen(file.c_str(), "wb");
        ASSERT_NE(out, nullptr);
        std::fputs(text, out);
        std::fclose(out);
    };
    SetFaults("slow=1");
    write("convert-fails\r\n");
    EXPECT_EQ(library_.makeAviFile(handle_, "E0"), 0);
    write("random=3\nhang-rate=info:1000");
    EXPECT_EQ(library_.makeAviFile(handle_, "E0"), 1);
    auto info = std::async(std::launch::async, [&] {
        RecordingIndexInfo record{};
        return library_.getFileIndexInfo(handle_, 0, "E0", &record);
    });
    EXPECT_EQ(info.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    std::uint8_t value = 0;
    EXPECT_EQ(library_.checkDevice(handle_, &value), 1) << "other kinds go on";
    write("");
    EXPECT_EQ(info.get(), 1);
    std::FILE* in = std::fopen(log.c_str(), "rb");
    ASSERT_NE(in, nullptr);
    long long when = 0;
    char exportName[64] = {}, what[16] = {};
    ASSERT_EQ(std::fscanf(in, "%lld\t%63s\t%15s", &when, exportName, what), 3);
    EXPECT_STREQ(exportName, "KRO_Get_File_Index_Info");
    EXPECT_STREQ(what, "hang");
    EXPECT_GT(when, 1700000000000LL) << "wall-clock milliseconds";
    // Let go, not ended: the log says the hung call answered after all.
    ASSERT_EQ(std::fscanf(in, "%lld\t%63s\t%15s", &when, exportName, what), 3);
    EXPECT_STREQ(exportName, "KRO_Get_File_Index_Info");
    EXPECT_STREQ(what, "answered");
    std::fclose(in);
}

TEST_F(FaultsTest, CreateFailsGivesNoInstance) {
    SetFaults("create-fails");
    EXPECT_EQ(library_.create(), 0);
    EXPECT_EQ(library_.getFileCount(handle_, 0), 5) << "existing instances keep working";
    SetFaults("");
    const KroHandle handle = library_.create();
    EXPECT_NE(handle, 0);
    library_.destroy(handle);
}

TEST_F(FaultsTest, FailingConversionsLeaveNothingBehind) {
    SetFaults("convert-fails");
    std::vector<std::uint8_t> buffer(kPictureBufferSize, 0xCC);
    std::int32_t size = -1;
    EXPECT_EQ(library_.makeAviFile(handle_, "E0"), 0);
    EXPECT_EQ(library_.makeKroFile(handle_, "E0"), 0);
    EXPECT_EQ(library_.makePictureFile(handle_, "J0.JPG", &size, buffer.data()), 0);
    EXPECT_EQ(size, 0);
    EXPECT_EQ(buffer[0], 0xCC);
    EXPECT_TRUE(FilesIn(exports_).empty());
    EXPECT_EQ(library_.getFileCount(handle_, 0), 5) << "listing is unaffected";
}

TEST_F(FaultsTest, AFlakyCardComesAndGoes) {
    SetFaults("flaky-card=40");
    bool seenIn = false, seenOut = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!(seenIn && seenOut) && std::chrono::steady_clock::now() < deadline) {
        std::uint8_t value = 0xAA;
        library_.checkDevice(handle_, &value);
        ASSERT_TRUE(value == 0 || value == 8) << int{value};
        (value == 8 ? seenIn : seenOut) = true;
    }
    EXPECT_TRUE(seenIn);
    EXPECT_TRUE(seenOut);
}

TEST_F(FaultsTest, UnknownSwitchesChangeNothing) {
    SetFaults("no-such-switch,, =,slowly=5");
    EXPECT_EQ(library_.List(handle_, 0).result, 5);
    const KroHandle handle = library_.create();
    EXPECT_NE(handle, 0);
    library_.destroy(handle);
}

}  // namespace
}  // namespace kro::simtest
