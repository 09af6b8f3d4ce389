// The progress dialog's way out when the export stalls: the stall shows, the
// close command offers a stop (with the library in its host) or the
// program's end, and the offer goes when the bars move again.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <mutex>

#include "host_proxy/hosted_library.h"
#include "host_proxy/library_host_process.h"
#include "fake_kro_device.h"
#include "resources/resource.h"
#include "tests/win/export/progress_run.h"

namespace kro {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::BoxSeen;
using testing::Gate;
using testing::kCompleteText;
using testing::OpenOnExit;
using testing::ReadBoxAndAnswer;

namespace fs = std::filesystem;

HWND FindOwnedBox(HWND dialog, const wchar_t* caption) {
    HWND box = nullptr;
    while ((box = FindWindowExW(nullptr, box, L"#32770", caption)) != nullptr) {
        if (GetWindow(box, GW_OWNER) == dialog && IsWindowVisible(box)) return box;
    }
    return nullptr;
}

// A library that stops answering inside a conversion: close stays ignored
// until the worker has been still for the stall limit; then the status line
// says so, and the close command asks whether to end the program. No keeps
// the dialog; Yes ends the run as abandoned, the worker still inside.
TEST(AVIProgress, AStalledLibraryLeavesAWayOutAfterTheStallLimit) {
    fake::FakeKroDevice device;
    std::atomic<bool> converting{false};
    testing::OwnerWindow owner;
    Gate gate;
    AVIProgress dialog(false);
    const OpenOnExit openGate{gate};
    dialog.m_library = &device.Library();
    dialog.m_selection = {"E1", "E2"};
    dialog.m_exportKind = kEventExportKind;
    dialog.m_stallLimit = std::chrono::milliseconds(1500);
    device.makeAviFile = [&](const char*) {
        converting = true;
        gate.Wait();
        return 1;
    };

    int stage = 0;
    bool ignoredBeforeTheLimit = false, keptOnNo = false, savedBoxSeen = false;
    std::wstring question;
    const INT_PTR result = testing::RunProgress(dialog, owner.Handle(), [&](HWND window) {
        wchar_t status[128] = {};
        GetDlgItemTextW(window, IDC_PROGRESS_TEXT, status, 128);
        savedBoxSeen = savedBoxSeen || testing::FindSavedBox(window) != nullptr;
        const bool stalled = std::wstring(status).find(L"not answering") != std::wstring::npos;
        switch (stage) {
            case 0:
                if (!converting) return false;
                PostMessageW(window, WM_CLOSE, 0, 0);
                stage = 1;
                return false;
            case 1:
                ignoredBeforeTheLimit = IsWindowVisible(window) && !stalled &&
                                        FindOwnedBox(window, L"KroFileList") == nullptr;
                stage = 2;
                return false;
            case 2:
                if (!stalled) return false;
                PostMessageW(window, WM_CLOSE, 0, 0);
                stage = 3;
                return false;
            case 3:
            case 5:
                if (HWND box = FindOwnedBox(window, L"KroFileList")) {
                    wchar_t text[512] = {};
                    GetDlgItemTextW(box, 0xFFFF, text, 512);
                    question = text;
                    PostMessageW(box, WM_COMMAND, stage == 3 ? IDNO : IDYES, 0);
                    ++stage;
                }
                return false;
            case 4:
                keptOnNo = IsWindowVisible(window) != FALSE;
                PostMessageW(window, WM_CLOSE, 0, 0);
                stage = 5;
                return false;
            default:
                return false;
        }
    });
    gate.Open();  // the worker may now end, before the dialog object goes

    EXPECT_EQ(result, kExportAbandoned);
    EXPECT_TRUE(ignoredBeforeTheLimit);
    EXPECT_TRUE(keptOnNo);
    EXPECT_FALSE(savedBoxSeen);
    EXPECT_NE(question.find(L"End KroFileList now?"), std::wstring::npos);
}

std::wstring StatusText(HWND dialog) {
    wchar_t status[128] = {};
    GetDlgItemTextW(dialog, IDC_PROGRESS_TEXT, status, 128);
    return status;
}

// This program's folder, where the simulator and its host were built.
std::string ProgramFolder() {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string program(path, length);
    return program.substr(0, program.rfind('\\'));
}

// The binding's diagnostics lines, written on the worker's thread.
class Diagnostics final : public TextSink {
public:
    void Write(std::string_view text) override {
        const std::lock_guard lock(mutex_);
        lines_.emplace_back(text);
    }
    std::vector<std::string> Lines() {
        const std::lock_guard lock(mutex_);
        return lines_;
    }

private:
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

// The simulator bound through its host, as the program binds the device
// library; the hosts start with the fault switches given (the environment
// they inherit).
class HostedSimulator {
public:
    explicit HostedSimulator(const wchar_t* faults) {
        SetEnvironmentVariableW(L"KROSIM_FAULTS", faults);
        loaded = library.Load(ProgramFolder());
    }
    ~HostedSimulator() { SetEnvironmentVariableW(L"KROSIM_FAULTS", nullptr); }

    Diagnostics diagnostics;
    HostedLibrary library{SystemLibraryHostLauncher(), ProgramFolder(), diagnostics};
    bool loaded = false;
};

// Answers the owned question box with its text kept; false while none is
// open.
bool AnswerQuestion(HWND dialog, std::wstring& question, WPARAM answer) {
    HWND box = FindOwnedBox(dialog, L"KroFileList");
    if (box == nullptr) return false;
    question = testing::BoxTextW(box);
    PostMessageW(box, WM_COMMAND, answer, 0);
    return true;
}

// With the library in its host, the way out stops the export instead of
// ending the program: the host goes, the conversion stuck in it counts as
// failed, the rest as not exported, and the run ends through the "Saved"
// box that says so.
TEST(AVIProgress, WithTheLibraryInItsHostTheStallOfferStopsTheExportAndTheProgramStays) {
    const std::set<DWORD> hostsBefore = testing::LibraryHostProcesses();
    HostedSimulator simulator(L"hang=avi");
    ASSERT_TRUE(simulator.loaded) << "the host did not load the simulator";
    testing::OwnerWindow owner;
    AVIProgress dialog(false);
    dialog.m_library = &simulator.library;
    dialog.m_selection = {"240105_074826E", "240105_075701e", "240105_080625e"};
    dialog.m_exportKind = kEventExportKind;
    dialog.m_stallLimit = std::chrono::milliseconds(1500);

    std::wstring stalledStatus, question, stoppingStatus;
    BoxSeen box;
    const auto closeWhenStalled = [&](HWND window) {
        stalledStatus = StatusText(window);
        if (stalledStatus.find(L"not answering") == std::wstring::npos) return false;
        PostMessageW(window, WM_CLOSE, 0, 0);
        return true;
    };
    const auto answerYes = [&](HWND window) { return AnswerQuestion(window, question, IDYES); };
    const auto readSaved = [&](HWND window) {
        stoppingStatus = StatusText(window);
        return ReadBoxAndAnswer(window, box, IDNO);
    };
    const INT_PTR result = testing::RunProgress(dialog, owner.Handle(),
                                                testing::Stages({closeWhenStalled, answerYes, readSaved}));

    EXPECT_EQ(result, IDOK) << "the program was to stay";
    EXPECT_EQ(stalledStatus, L"The device library is not answering. Close this window to stop the export.");
    EXPECT_EQ(question,
              L"The device library has not answered for a long time.\n\n"
              L"Stop the export? Recordings not yet exported are not saved.");
    ASSERT_TRUE(box.found);
    EXPECT_EQ(box.text,
              "The export was stopped.\n"
              "1 of 3 recordings could not be exported:\n"
              "240105_074826E (the device library stopped answering)\n"
              "2 recordings were not exported, as the export stopped before them:\n"
              "240105_075701e\n"
              "240105_080625e\n"
              "The folder is C:\\ZiduvOra\\. Do you want to open the folder?");
    EXPECT_TRUE(box.yes && box.no);
    EXPECT_EQ(stoppingStatus, L"Stopping the export.");
    const std::vector<std::string> diagnostics = simulator.diagnostics.Lines();
    ASSERT_EQ(diagnostics.size(), 1u);
    EXPECT_EQ(diagnostics[0], "KROLib: KRO_Make_Avi_File was cut short: the library host was ended on request\n")
        << diagnostics[0];
    // The run ends only after the worker has been joined; no host is left
    // until the next call starts one.
    EXPECT_EQ(testing::LibraryHostProcesses(), hostsBefore) << "a library host outlived the stop";
    EXPECT_TRUE(simulator.library.CloseWithin(std::chrono::seconds(5)))
        << "a thread is still inside the library";
}

// The stall clock belongs to the recording in progress: a long first
// conversion shows the stall, the next one's start takes it back, and Esc
// and close are ignored again while the worker moves.
TEST(AVIProgress, TheStallOfferGoesAwayWhenTheBarsMoveAgain) {
    fake::FakeKroDevice device;
    std::atomic<int> converting{0};  // the conversion inside the library, from 1
    testing::OwnerWindow owner;
    Gate first, second;
    AVIProgress dialog(false);
    const OpenOnExit openFirst{first}, openSecond{second};
    dialog.m_library = &device.Library();
    dialog.m_selection = {"E1", "E2"};
    dialog.m_exportKind = kEventExportKind;
    // Long enough that the second conversion is still far from a stall of
    // its own when the test presses Esc.
    dialog.m_stallLimit = std::chrono::milliseconds(4000);
    device.makeAviFile = [&](const char* name) {
        const bool isFirst = std::string(name) == "E1";
        converting = isFirst ? 1 : 2;
        (isFirst ? first : second).Wait();
        return 1;
    };

    std::wstring stalledStatus, questionSeen;
    bool keptWorking = false;
    BoxSeen box;
    const auto letTheFirstEndWhenStalled = [&](HWND window) {
        stalledStatus = StatusText(window);
        if (stalledStatus.find(L"not answering") == std::wstring::npos) return false;
        first.Open();
        return true;
    };
    const auto closeWhenMovingAgain = [&](HWND window) {
        if (converting != 2 || StatusText(window) != L"Requesting action.") return false;
        PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
        PostMessageW(window, WM_CLOSE, 0, 0);
        return true;
    };
    const auto checkIgnoredAndGoOn = [&](HWND window) {
        // Posted messages are served before the step's timer.
        keptWorking = IsWindowVisible(window) && !AnswerQuestion(window, questionSeen, IDNO) &&
                      StatusText(window) == L"Requesting action.";
        second.Open();
        return true;
    };
    const auto readSaved = [&](HWND window) { return ReadBoxAndAnswer(window, box, IDNO); };
    const INT_PTR result = testing::RunProgress(
        dialog, owner.Handle(),
        testing::Stages({letTheFirstEndWhenStalled, closeWhenMovingAgain, checkIgnoredAndGoOn, readSaved}));

    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(stalledStatus, L"The device library is not answering. Close this window to end KroFileList.");
    EXPECT_TRUE(keptWorking) << "Esc or close offered a way out while the worker moved";
    ASSERT_TRUE(box.found);
    EXPECT_EQ(box.text, kCompleteText);
}

// Stands for a disk that stops answering: the worker's first look at the
// folder waits until the test opens the gate.
class StuckFileSystem final : public ExportFileSystem {
public:
    explicit StuckFileSystem(const Gate& gate) : gate_(gate) {}
    bool FolderExists(const std::string&) override {
        gate_.Wait();
        return true;
    }
    bool CreateFolder(const std::string&) override { return true; }
    bool WriteFileReplacing(const std::string&, const std::string&, const std::uint8_t*,
                            std::size_t) override {
        return true;
    }
    void RemoveStaleTemporaryFiles(const std::string&) override {}

private:
    const Gate& gate_;
};

// Ending the host brings back only a worker stuck in the library. One stuck
// elsewhere is still there a stall limit after the stop: the way out is
// then the program's end, as with the library in this process.
TEST(AVIProgress, AStopThatDoesNotBringTheWorkerBackOffersTheProgramsEnd) {
    HostedSimulator simulator(L"");
    ASSERT_TRUE(simulator.loaded) << "the host did not load the simulator";
    Gate disk;
    StuckFileSystem stuck(disk);
    testing::OwnerWindow owner;
    AVIProgress dialog(false);
    const OpenOnExit openDisk{disk};
    dialog.m_library = &simulator.library;
    dialog.m_selection = {"240105_074826E"};
    dialog.m_exportKind = kEventExportKind;
    dialog.m_fileSystem = &stuck;
    dialog.m_stallLimit = std::chrono::milliseconds(1500);

    std::wstring stopQuestion, endStatus, endQuestion;
    const auto closeWhenOffering = [](const wchar_t* offer) {
        return [offer](HWND window) {
            if (StatusText(window).find(offer) == std::wstring::npos) return false;
            PostMessageW(window, WM_CLOSE, 0, 0);
            return true;
        };
    };
    const auto answerStop = [&](HWND window) { return AnswerQuestion(window, stopQuestion, IDYES); };
    const auto closeWhenOfferingTheEnd = [&](HWND window) {
        endStatus = StatusText(window);
        return closeWhenOffering(L"end KroFileList")(window);
    };
    const auto answerEnd = [&](HWND window) { return AnswerQuestion(window, endQuestion, IDYES); };
    const INT_PTR result =
        testing::RunProgress(dialog, owner.Handle(),
                             testing::Stages({closeWhenOffering(L"stop the export"), answerStop,
                                              closeWhenOfferingTheEnd, answerEnd}));
    disk.Open();  // the worker may now end, before the dialog object goes

    EXPECT_EQ(result, kExportAbandoned);
    EXPECT_NE(stopQuestion.find(L"Stop the export?"), std::wstring::npos);
    EXPECT_EQ(endStatus, L"The device library is not answering. Close this window to end KroFileList.");
    EXPECT_NE(endQuestion.find(L"End KroFileList now?"), std::wstring::npos);
}

}  // namespace
}  // namespace kro
