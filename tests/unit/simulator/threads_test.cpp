// Four threads calling one library instance at once, as the program does
// (user interface, poller, list loading, export), each checking that every
// answer matches the one a lone caller got.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <thread>

#include "device/in_process_library.h"
#include "device/kro_library.h"
#include "tests/unit/simulator/sim_test_support.h"

namespace kro::simtest {
namespace {

struct Expected {
    std::map<std::uint8_t, std::vector<std::string>> names;
    std::map<std::uint8_t, std::vector<std::uint32_t>> sizes;
    std::map<std::string, std::uint16_t> frontFrames;
    std::vector<std::uint8_t> picture;
    std::vector<std::uint8_t> avi;
    std::vector<std::uint8_t> backup;
};

class ThreadsTest : public SimulatorTest {
protected:
    void SetUp() override {
        SimulatorTest::SetUp();
        std::vector<TestRecording> card;
        for (int i = 0; i < 6; ++i) {
            card.push_back({"EV" + std::to_string(i), 'E', 3, 4, 12, 12, 100 + i});
            card.push_back({"DR" + std::to_string(i), 'I', 2, 1, 2, 2});
            card.push_back({"PK" + std::to_string(i), 'M', 2, 1, 2, 2});
            card.push_back({"PH" + std::to_string(i) + ".JPG", 'J', 0, 0, 1, 0});
        }
        WriteCard(card_, 11, card);
    }

    Expected LoneCaller() const {
        Expected expected;
        for (std::uint8_t category = 0; category < 4; ++category) {
            const Listing listing = library_.List(handle_, category);
            expected.names[category] = listing.Names();
            expected.sizes[category] = listing.sizes;
            for (const std::string& name : listing.Names()) {
                RecordingIndexInfo info{};
                library_.getFileIndexInfo(handle_, category, name.c_str(), &info);
                expected.frontFrames[name] = info.frontFrames;
            }
        }
        expected.picture = Picture("PH3.JPG");
        library_.makeAviFile(handle_, "EV2");
        expected.avi = ReadFileBytes(exports_ + "/EV2.avi");
        library_.makeKroFile(handle_, "EV2");
        expected.backup = ReadFileBytes(exports_ + "/EV2.kro");
        return expected;
    }

    std::vector<std::uint8_t> Picture(const char* name) const {
        std::vector<std::uint8_t> buffer(kPictureBufferSize);
        std::int32_t size = 0;
        if (library_.makePictureFile(handle_, name, &size, buffer.data()) != 1) return {};
        buffer.resize(static_cast<std::size_t>(size));
        return buffer;
    }
};

TEST_F(ThreadsTest, FourThreadsAtOnceGetTheAnswersOfALoneCaller) {
    const Expected expected = LoneCaller();
    ASSERT_EQ(expected.names.at(0).size(), 6u);
    ASSERT_FALSE(expected.avi.empty());
    ASSERT_FALSE(expected.picture.empty());

    std::atomic<bool> stop{false};
    std::atomic<int> mismatches{0};
    std::atomic<int> rounds{0};
    auto check = [&](bool same) {
        if (!same) mismatches.fetch_add(1);
    };
    auto poller = [&] {
        while (!stop.load()) {
            std::uint8_t value = 0;
            check(library_.checkDevice(handle_, &value) == 1 && value == 11);
            rounds.fetch_add(1);
        }
    };
    auto loader = [&] {
        while (!stop.load()) {
            char area[kFileFlagAreaSize];
            std::uint8_t a = 0, b = 0, c = 0;
            check(library_.getFileFlag(handle_, area, &a, &b, &c) == 1);
            for (std::uint8_t category = 0; category < 4; ++category) {
                const Listing listing = library_.List(handle_, category);
                check(listing.Names() == expected.names.at(category) &&
                      listing.sizes == expected.sizes.at(category));
            }
            rounds.fetch_add(1);
        }
    };
    auto userInterface = [&] {
        while (!stop.load()) {
            for (const auto& [name, frames] : expected.frontFrames) {
                RecordingIndexInfo info{};
                check(library_.getFileIndexInfo(handle_, 0, name.c_str(), &info) == 1 &&
                      info.frontFrames == frames);
            }
            // An instance of its own now and then.
            const KroHandle own = library_.create();
            check(own != 0 && library_.getFileCount(own, 3) == 6 && library_.destroy(own) == 1);
            rounds.fetch_add(1);
        }
    };
    auto exporter = [&] {
        while (!stop.load()) {
            check(library_.makeAviFile(handle_, "EV2") == 1);
            check(library_.makeKroFile(handle_, "EV2") == 1);
            check(Picture("PH3.JPG") == expected.picture);
            rounds.fetch_add(1);
        }
    };

    std::vector<std::thread> threads;
    threads.emplace_back(poller);
    threads.emplace_back(loader);
    threads.emplace_back(userInterface);
    threads.emplace_back(exporter);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    stop.store(true);
    for (auto& thread : threads) thread.join();

    EXPECT_EQ(mismatches.load(), 0);
    EXPECT_GT(rounds.load(), 4);
    EXPECT_EQ(ReadFileBytes(exports_ + "/EV2.avi"), expected.avi);
    EXPECT_EQ(ReadFileBytes(exports_ + "/EV2.kro"), expected.backup);
    EXPECT_EQ(FilesIn(exports_), (std::vector<std::string>{"EV2.avi", "EV2.kro"}));
}

TEST_F(ThreadsTest, ConcurrentExportsOfOneRecordingAllSucceed) {
    const Expected expected = LoneCaller();
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 10; ++i) {
                if (library_.makeAviFile(handle_, "EV2") != 1) failures.fetch_add(1);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(ReadFileBytes(exports_ + "/EV2.avi"), expected.avi);
}

// The `reentrancy` switch records a call entering while another is inside.
// Four threads calling the library directly are caught at it; the same four
// through the program's binding never are, because it lets one in at a time.
TEST_F(ThreadsTest, TheBindingLetsOneCallerInAtATime) {
    const std::string log = root_.Join("reentrancy.log");
    const ScopedEnv logVariable("KROSIM_REENTRANCY_LOG", log);
    SetFaults("reentrancy,slow=2");
    RedirectingLoader loader;
    InProcessLibrary binding(loader);
    ASSERT_TRUE(binding.Load(""));

    auto fourThreads = [](const std::function<void(int)>& body) {
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) threads.emplace_back([&body, t] {
            for (int i = 0; i < 20; ++i) body(t);
        });
        for (auto& thread : threads) thread.join();
    };
    fourThreads([&](int t) {
        std::uint8_t value = 0;
        RecordingIndexInfo info{};
        if (t == 0) binding.CheckDevice(&value);
        if (t == 1) binding.GetFileCount(2);
        if (t == 2) binding.GetFileIndexInfo(0, "EV1", &info);
        if (t == 3) binding.MakeAviFile("EV2");
    });
    EXPECT_TRUE(ReadFileBytes(log).empty()) << "through the binding";

    fourThreads([&](int t) {
        std::uint8_t value = 0;
        if (t % 2 == 0) library_.checkDevice(handle_, &value);
        if (t % 2 == 1) library_.getFileCount(handle_, 2);
    });
    const std::vector<std::uint8_t> records = ReadFileBytes(log);
    EXPECT_NE(std::string(records.begin(), records.end()).find(" entered while KRO_"), std::string::npos)
        << "calling directly";
    binding.Close();
}

// The `affinity` switch records a call made on another thread than the one
// that made the instance, as a library keeping per-thread state would fail
// it; the end-to-end journey and the soak run with it and find nothing.
TEST_F(ThreadsTest, AffinityRecordsACallFromAnotherThreadThanTheCreators) {
    const std::string log = root_.Join("affinity.log");
    const ScopedEnv logVariable("KROSIM_REENTRANCY_LOG", log);
    SetFaults("affinity");
    const KroHandle own = library_.create();
    std::uint8_t value = 0;
    library_.checkDevice(own, &value);
    EXPECT_TRUE(ReadFileBytes(log).empty()) << "from the creating thread";
    std::thread([&] { library_.getFileCount(own, 2); }).join();
    const std::vector<std::uint8_t> records = ReadFileBytes(log);
    const std::string text(records.begin(), records.end());
    // One record (a line; Windows ends it with CR LF), for that call.
    EXPECT_EQ(text.rfind("KRO_Get_File_Cnt called from a thread other than KRO_Create's", 0), 0u) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
    SetFaults("");
    library_.destroy(own);
}

}  // namespace
}  // namespace kro::simtest
