// The twin's commands with the system's seams but a captured console, the
// simulator library and a card of four recordings.
#include "cli/cli_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

#include "cli/cli_options.h"
#include "cli/device_session.h"
#include "cli/export_record.h"
#include "export/temporary_file_name.h"
#include "tests/support/bounded_wait.h"
#include "tests/unit/simulator/sim_test_support.h"

namespace kro::cli {
namespace {

using simtest::ScopedEnv;

// Standard output fails, as a full disk does, from write number failFrom on
// (counted from 0), when set.
class CapturedConsole final : public CliConsole {
public:
    void Err(std::string_view text) override { err += text; }
    bool OutIsConsole() const override { return false; }
    // Whether standard output holds `text` yet, from another thread.
    bool OutHolds(std::string_view text) {
        const std::lock_guard lock(*mutex);
        return out.find(text) != std::string::npos;
    }
    // Guards out while a command runs; held by pointer so that a fresh
    // console can still be assigned between commands.
    std::unique_ptr<std::mutex> mutex = std::make_unique<std::mutex>();
    std::string out, err;
    std::optional<int> failFrom;
    int outWrites = 0;  // attempted, the failed ones included

protected:
    bool WriteOut(std::string_view text, std::string& reason) override {
        if (failFrom && outWrites++ >= *failFrom) {
            reason = "No space left on device";
            return false;
        }
        const std::lock_guard lock(*mutex);
        out += text;
        return true;
    }
};

// The system's file reads; the window program's presence as the test says.
class TestSystem final : public CliSystem {
public:
    bool WindowProgramRunning() override { return windowProgram ? windowProgram() : windowRunning; }
    std::optional<std::string> ReadFile(const std::string& path, std::size_t limit) override {
        return SystemCliSystem().ReadFile(path, limit);
    }
    std::string AnsiToUtf8(std::string_view text) override { return std::string(text); }
    bool windowRunning = false;
    std::function<bool()> windowProgram;  // when set, asked instead
};

// Whatever path the binding tries, the simulator beside the tests answers,
// unless the test has taken the library away.
class TestLoader final : public ModuleLoader {
public:
    Module Load(const std::string&) override {
        Module module = present ? SystemModuleLoader().Load(simtest::LibraryBesideTests()) : nullptr;
        if (module != nullptr) ++loaded;
        return module;
    }
    void* Symbol(Module module, const char* name) override {
        return SystemModuleLoader().Symbol(module, name);
    }
    void Free(Module module) override {
        --loaded;
        SystemModuleLoader().Free(module);
    }
    std::string ExecutablePath() override {
        return executable.empty() ? SystemModuleLoader().ExecutablePath() : executable;
    }
    bool present = true;
    std::string executable;  // where the program is said to be, when set
    int loaded = 0;          // modules loaded and not yet freed
};

class NoTrace final : public TextSink {
public:
    void Write(std::string_view) override {}
};

class CliRunTest : public ::testing::Test {
protected:
    CliRunTest()
        : card_(temp_.Join("card")),
          exportFolder_(temp_.Join("out") + "/"),
          cardEnv_("KROSIM_CARD", card_),
          exportEnv_("KROSIM_EXPORT_DIR", exportFolder_),
          faultsEnv_("KROSIM_FAULTS", "") {
        simtest::WriteCard(card_, 3,
                           {{"240105_074826E", 'E'},
                            {"240105_080625e", 'e'},
                            {"240105_073200I", 'I'},
                            {"0105_073958.JPG", 'J', 0, 0, 1, 0}});
    }

    int Run(std::vector<std::string> arguments) {
        console_ = CapturedConsole();
        console_.failFrom = failOutFrom_;
        CliEnvironment environment{loader_,
                                   hosts_,
                                   SystemClock(),
                                   SystemThreadPriority(),
                                   SystemDiskQueries(),
                                   SystemExportFileSystem(),
                                   system_,
                                   console_,
                                   trace_,
                                   stop_,
                                   exportFolder_};
        return RunCli(arguments, environment);
    }

    simtest::TempFolder temp_;
    std::string card_, exportFolder_;
    ScopedEnv cardEnv_, exportEnv_, faultsEnv_;
    TestLoader loader_;
    LibraryHostLauncher* hosts_ = nullptr;  // in-process unless a test says
    TestSystem system_;
    CapturedConsole console_;
    std::optional<int> failOutFrom_;
    NoTrace trace_;
    std::atomic<bool> stop_{false};
};

TEST_F(CliRunTest, ExportWithNewSkipsWhatTheRecordNames) {
    ASSERT_EQ(Run({"export", "event", "--all", "--new", "--wait", "5"}), kExitOk) << console_.err;
    EXPECT_EQ(console_.err, "");
    EXPECT_NE(console_.out.find("[2/2] 240105_080625e "), std::string::npos) << console_.out;
    EXPECT_NE(console_.out.find("Exported 2 of 2 recordings of the event list"), std::string::npos);
    EXPECT_EQ(simtest::FilesIn(exportFolder_),
              (std::vector<std::string>{"240105_074826E.avi", "240105_080625e.avi", kExportRecordName}));

    ASSERT_EQ(Run({"export", "event", "--all", "--new"}), kExitOk);
    EXPECT_NE(console_.out.find("Exported 0 of 0 recordings of the event list into " + exportFolder_ +
                                "; 2 were exported before."),
              std::string::npos)
        << console_.out;
    // Without --new the record is not consulted; a name is exported again.
    ASSERT_EQ(Run({"export", "event", "240105_074826E"}), kExitOk);
    EXPECT_NE(console_.out.find("Exported 1 of 1 recording of the event list"), std::string::npos);
}

TEST_F(CliRunTest, FailuresAndMissingNamesAreExitOneAndNamed) {
    ScopedEnv faults("KROSIM_FAULTS", "convert-fails");
    EXPECT_EQ(Run({"export", "event", "240105_080625e", "nosuchname"}), kExitFailures);
    EXPECT_EQ(console_.err, "Not on the card's event list: nosuchname\nNot exported: 240105_080625e\n");
    EXPECT_EQ(Run({"export", "photo", "--all"}), kExitFailures);
    EXPECT_EQ(console_.err, "Not exported: 0105_073958.JPG\n");
    // Nothing succeeded, so the record holds nothing.
    EXPECT_EQ(
        ExportRecord::Parse(SystemCliSystem().ReadFile(exportFolder_ + kExportRecordName, kMaxRecordBytes))
            .Size(),
        0u);
}

TEST_F(CliRunTest, RefusalsAndMissingDeviceHaveTheirCodes) {
    system_.windowRunning = true;
    EXPECT_EQ(Run({"list"}), kExitWindowRunning);
    EXPECT_NE(console_.err.find("KroFileList.exe is running"), std::string::npos);
    system_.windowRunning = false;
    EXPECT_EQ(Run({"list", "--bogus"}), kExitUsage);
    loader_.present = false;
    EXPECT_EQ(Run({"list"}), kExitNoDevice);
    EXPECT_NE(console_.err.find("KROLib.dll could not be loaded"), std::string::npos);
    loader_.present = true;
    simtest::SetEnvironment("KROSIM_CARD", temp_.Join("no-card"));
    EXPECT_EQ(Run({"export", "event", "--all", "--wait", "0"}), kExitNoDevice);
    EXPECT_EQ(console_.err, "No card found within 0 seconds.\n");
}

TEST_F(CliRunTest, ListPrintsRowsAndSummaries) {
    ASSERT_EQ(Run({"list", "--category", "photo"}), kExitOk);
    const std::string firstLine = console_.out.substr(0, console_.out.find('\n'));
    EXPECT_EQ(firstLine.rfind("photo\t0105_073958.JPG\t", 0), 0u) << firstLine;
    EXPECT_EQ(firstLine.back(), '\t');  // a photo has no duration
    EXPECT_NE(console_.out.find("\nsummary\tphoto\tfile: 0001, size: "), std::string::npos) << console_.out;
    ASSERT_EQ(Run({"list", "--json"}), kExitOk);
    EXPECT_EQ(
        console_.out.rfind("{\"disk\":3,\"recordings\":[{\"list\":\"event\",\"name\":\"240105_074826E\"", 0),
        0u)
        << console_.out;
}

// Watch exports the card that is in, then a stop request ends it promptly
// (the poller's one-second pause included).
TEST_F(CliRunTest, WatchExportsTheCardAndEndsOnStop) {
    std::thread stopper([this] {
        // The stop comes once the photo list's line is out, however long the
        // machine takes to get there.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (!console_.OutHolds("Exported 1 of 1 recording of the photo list") &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        stop_.store(true);
    });
    const int code = Run({"watch", "event", "photo", "--new"});
    stopper.join();
    EXPECT_EQ(code, kExitOk) << console_.err;
    EXPECT_NE(console_.out.find("Card found: disk 3.\n"), std::string::npos) << console_.out;
    EXPECT_NE(console_.out.find("Exported 1 of 1 recording of the photo list"), std::string::npos)
        << console_.out;
    EXPECT_EQ(console_.out.substr(console_.out.size() - 9), "Stopped.\n");
}

std::size_t Occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

// The window program starts while watch exports: watch finishes the
// recording in progress, lets the library go while the window program runs,
// and then goes on with what it had not reached of the card, exporting
// nothing twice.
TEST_F(CliRunTest, WatchGivesTheWindowProgramTheCardAndGoesOnWhereItStopped) {
    const auto aviFiles = [this] {
        std::size_t count = 0;
        for (const std::string& name : simtest::FilesIn(exportFolder_)) count += name.ends_with(".avi");
        return count;
    };
    // Running from the first AVI on, for watch's next three looks.
    int runningLooks = 0;
    int loadedWhilePaused = -1;
    system_.windowProgram = [&] {
        if (aviFiles() == 0 || runningLooks > 3) return false;
        if (++runningLooks == 3) loadedWhilePaused = loader_.loaded;
        return true;
    };
    std::thread stopper([this] {
        // After the pause the photo list comes last: the stop waits for its
        // line, however long a loaded machine takes to get there.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!console_.OutHolds("Exported 1 of 1 recording of the photo list") &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        stop_.store(true);
    });
    const int code = Run({"watch", "event", "photo"});
    stopper.join();
    EXPECT_EQ(code, kExitOk) << console_.err;
    const std::string& out = console_.out;
    const std::size_t paused = out.find("KroFileList.exe is running: watch pauses until it ends.\n");
    const std::size_t resumed = out.find("KroFileList.exe has ended: watch resumes.\n");
    ASSERT_NE(paused, std::string::npos) << out;
    ASSERT_NE(resumed, std::string::npos) << out;
    EXPECT_EQ(loadedWhilePaused, 0) << "the library stayed loaded while the window program ran";
    // One event recording before the pause, the other and the photo after.
    EXPECT_EQ(Occurrences(out.substr(0, paused), "Exported 1 of 1 recording of the event list"), 1u) << out;
    EXPECT_EQ(Occurrences(out.substr(resumed), "Exported 1 of 1 recording of the event list"), 1u) << out;
    EXPECT_EQ(Occurrences(out.substr(resumed), "Exported 1 of 1 recording of the photo list"), 1u) << out;
    EXPECT_EQ(Occurrences(out, "240105_074826E"), 1u) << out;
    EXPECT_EQ(Occurrences(out, "240105_080625e"), 1u) << out;
    EXPECT_EQ(simtest::FilesIn(exportFolder_).size(), 4u);
    system_.windowProgram = nullptr;  // it holds this case's locals
}

// Through the library's host, a stop ends a command whose library call never
// returns: the host is ended kStopGrace after the stop, and the command ends
// as stopped, without a word of the library's host.
TEST_F(CliRunTest, AStopEndsACommandStuckInTheLibrary) {
    // The host looks for the library in the program's folder.
    const std::string programFolder = temp_.Join("program");
    std::filesystem::create_directories(programFolder);
    std::string simulator = simtest::LibraryBesideTests();
    std::replace(simulator.begin(), simulator.end(), '\\', '/');
    std::filesystem::copy_file(simulator, programFolder + "/" + kKroLibraryFileName);
    loader_.executable = programFolder + "/KroFileListCLI";  // the system's form: separators as '\\'
    std::replace(loader_.executable.begin(), loader_.executable.end(), '/', '\\');
    hosts_ = &SystemLibraryHostLauncher();
    const ScopedEnv hung("KROSIM_FAULTS", "hang=list");
    auto list = std::async(std::launch::async, [this] { return Run({"list"}); });
    ASSERT_FALSE(testing::BecomesReady(list, "", std::chrono::seconds(2)))
        << "the hung list call returned: " << console_.err;
    stop_.store(true);
    EXPECT_TRUE(
        testing::BecomesReady(list, "list to end after the stop", kStopGrace + std::chrono::seconds(10)));
    EXPECT_EQ(list.get(), kExitNoDevice);
    EXPECT_EQ(console_.err, "Stopped.\n");
}

// A library that cannot be had again after the window program has ended
// ends watch as no device, not as done.
TEST_F(CliRunTest, WatchThatCannotTakeTheLibraryBackEndsAsNoDevice) {
    int looks = 0;
    system_.windowProgram = [&] {
        if (simtest::FilesIn(exportFolder_).empty()) return false;
        // Running for one look after the first file; the library goes meanwhile.
        loader_.present = false;
        return ++looks == 1;
    };
    auto watch = std::async(std::launch::async, [this] { return Run({"watch", "event"}); });
    const ::testing::AssertionResult ended =
        testing::BecomesReady(watch, "watch to end once the library is gone", std::chrono::seconds(20));
    EXPECT_TRUE(ended);
    if (!ended) stop_.store(true);
    EXPECT_EQ(watch.get(), kExitNoDevice);
    EXPECT_NE(console_.err.find("could not be loaded or started"), std::string::npos) << console_.err;
    system_.windowProgram = nullptr;
}

void WriteText(const std::string& path, const std::string& text) {
    simtest::WriteFileBytes(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

const char kOutputFailed[] = "The output could not be written: No space left on device.\n";

// A command whose standard output cannot be written has failed, whatever it
// did besides: exit 1 and the reason once, and nothing more is written after
// the failed write. Export still makes its files.
TEST_F(CliRunTest, OutputThatCannotBeWrittenIsExitOneWithTheReason) {
    failOutFrom_ = 0;
    EXPECT_EQ(Run({"list", "--json"}), kExitFailures);
    EXPECT_EQ(console_.err, kOutputFailed);
    EXPECT_EQ(console_.outWrites, 1);
    EXPECT_EQ(Run({"--version"}), kExitFailures);
    EXPECT_EQ(console_.err, kOutputFailed);

    EXPECT_EQ(Run({"export", "event", "--all"}), kExitFailures);
    EXPECT_EQ(console_.err, kOutputFailed);
    EXPECT_EQ(console_.outWrites, 1) << "the progress lines went on after the failed one";
    EXPECT_EQ(simtest::FilesIn(exportFolder_),
              (std::vector<std::string>{"240105_074826E.avi", "240105_080625e.avi", kExportRecordName}));

    // Output that fails only at the end fails the command all the same.
    failOutFrom_ = 2;
    EXPECT_EQ(Run({"export", "event", "--all"}), kExitFailures);
    EXPECT_EQ(console_.out.find("Exported"), std::string::npos);
    EXPECT_EQ(console_.err, kOutputFailed);
}

// Watch stops exporting once it can no longer report: the list in progress
// when its output failed is finished, the next one is not begun, and watch
// ends by itself.
TEST_F(CliRunTest, WatchWhoseOutputFailsStopsAfterTheListInProgress) {
    failOutFrom_ = 2;  // "Waiting for cards", "Card found", then the first progress line fails
    auto watch = std::async(std::launch::async, [this] { return Run({"watch", "event", "photo"}); });
    const ::testing::AssertionResult ended = testing::BecomesReady(
        watch, "watch to end by itself once its output failed", std::chrono::seconds(20));
    EXPECT_TRUE(ended);
    if (!ended) stop_.store(true);
    EXPECT_EQ(watch.get(), kExitFailures);
    EXPECT_NE(console_.out.find("Card found: disk 3.\n"), std::string::npos) << console_.out;
    EXPECT_EQ(console_.err, kOutputFailed);
    EXPECT_EQ(simtest::FilesIn(exportFolder_),
              (std::vector<std::string>{"240105_074826E.avi", "240105_080625e.avi", kExportRecordName}))
        << "the photo list was exported after the output had failed";
}

// The library takes every AVI (it places them itself), but the export folder
// cannot be created: the outcome does not call that exported, and exit is 1.
TEST_F(CliRunTest, AnExportFolderThatCannotBeCreatedIsNoSuccess) {
    ScopedEnv libraryFolder("KROSIM_EXPORT_DIR", temp_.Join("library-out") + "/");
    WriteText(temp_.Join("out"), "a file where the folder belongs");
    EXPECT_EQ(Run({"export", "event", "--all"}), kExitFailures);
    EXPECT_EQ(console_.out.substr(console_.out.find("Exported")),
              "Exported 0 of 2 recordings of the event list: the folder " + exportFolder_ +
                  " could not be created.\n");
    EXPECT_EQ(console_.err.rfind("The folder " + exportFolder_ + " could not be created.\n", 0), 0u)
        << console_.err;
    EXPECT_EQ(console_.err.find("Not exported"), std::string::npos) << console_.err;
}

// An export clears the temporary files that an ended process left in the
// folder, and nothing else there.
TEST_F(CliRunTest, ExportRemovesStaleTemporaryFilesOfEndedProcesses) {
    std::filesystem::create_directories(exportFolder_);
    // 2147483647: a process ID no system hands out.
    WriteText(exportFolder_ + TemporaryFileName(2147483647, 1), "half a record");
    WriteText(exportFolder_ + "kro1234.tmp", "someone else's");
    ASSERT_EQ(Run({"export", "event", "--all"}), kExitOk) << console_.err;
    EXPECT_EQ(simtest::FilesIn(exportFolder_),
              (std::vector<std::string>{"240105_074826E.avi", "240105_080625e.avi", kExportRecordName,
                                        "kro1234.tmp"}));
}

}  // namespace
}  // namespace kro::cli
