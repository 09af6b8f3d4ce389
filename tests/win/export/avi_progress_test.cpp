// The progress dialog under Wine, run modally over an owner window: the
// worker exports through the device library while the dialog ignores Enter,
// Esc and the close command, and the "Saved" question ends it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
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

namespace fs = std::filesystem;

const fs::path kFolder = "C:\\ZiduvOra\\";

struct Bar {
    int lower = -1;
    int upper = -1;
    int position = -1;
    bool operator==(const Bar&) const = default;
};

Bar ReadBar(HWND dialog, int id) {
    HWND bar = GetDlgItem(dialog, id);
    return {static_cast<int>(SendMessageW(bar, PBM_GETRANGE, TRUE, 0)),
            static_cast<int>(SendMessageW(bar, PBM_GETRANGE, FALSE, 0)),
            static_cast<int>(SendMessageW(bar, PBM_GETPOS, 0, 0))};
}

// Holds the library's conversion calls until the test opens it. The worker
// calls into it, so a test declares it before the dialog (which joins the
// worker when it goes) and an OpenOnExit after the dialog, so that a failing
// test never leaves the worker waiting at the join.
class Gate {
public:
    // Waits on a copy: the gate itself may go while a caller still waits.
    void Wait() const {
        const std::shared_future<void> opened = opened_;
        opened.wait();
    }
    void Open() {
        if (!open_.exchange(true)) promise_.set_value();
    }

private:
    std::promise<void> promise_;
    std::shared_future<void> opened_ = promise_.get_future().share();
    std::atomic<bool> open_{false};
};

struct OpenOnExit {
    Gate& gate;
    ~OpenOnExit() { gate.Open(); }
};

// What the library was asked to make, per call kind.
struct Calls {
    std::mutex mutex;
    std::vector<std::string> avi;
    std::vector<std::string> kro;
    std::vector<std::string> pictures;

    void Add(std::vector<std::string>& calls, const char* name) {
        const std::lock_guard lock(mutex);
        calls.emplace_back(name);
    }
};

struct BoxSeen {
    bool found = false;
    std::string text;
    bool yes = false, no = false, ok = false;
    Bar files, step;
};

// Reads the "Saved" box (found only when the dialog owns it) and the bars
// behind it, then answers.
bool ReadBoxAndAnswer(HWND dialog, BoxSeen& seen, WPARAM answer) {
    HWND box = testing::FindSavedBox(dialog);
    if (box == nullptr) return false;
    seen.found = true;
    seen.text = testing::BoxText(box);
    seen.yes = GetDlgItem(box, IDYES) != nullptr;
    seen.no = GetDlgItem(box, IDNO) != nullptr;
    seen.ok = GetDlgItem(box, IDOK) != nullptr;
    seen.files = ReadBar(dialog, IDC_PROGRESS_FILES);
    seen.step = ReadBar(dialog, IDC_PROGRESS_STEP);
    PostMessageW(box, WM_COMMAND, answer, 0);
    return true;
}

std::string ReadBytes(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

const char kCompleteText[] =
    "Save the conversion is complete.\nThe folder is C:\\ZiduvOra\\. Do you want to open the folder?";

TEST(AVIProgress, ASaveRunsToTheSavedQuestionWhileEnterEscAndCloseAreIgnored) {
    fake::FakeKroDevice device;
    Calls calls;
    std::atomic<int> aviCalls{0};
    std::atomic<bool> converting{false};
    testing::OwnerWindow owner;
    const std::set<DWORD> viewersBefore = testing::FolderViewerProcesses();

    Gate gate;
    AVIProgress dialog(false);
    const OpenOnExit openGate{gate};
    dialog.m_library = &device.Library();
    dialog.m_selection = {"240105_074826E", "240105_075701e", "240105_080625e"};
    dialog.m_exportKind = kEventExportKind;

    device.makeAviFile = [&](const char* name) {
        calls.Add(calls.avi, name);
        if (aviCalls.fetch_add(1) == 0) {  // hold the first conversion
            converting = true;
            gate.Wait();
        }
        return 1;
    };
    device.makeKroFile = [&](const char* name) { return calls.Add(calls.kro, name), 1; };

    int stage = 0;
    wchar_t statusText[64] = {};
    RECT dialogRect = {}, ownerRect = {};
    bool survivedKeys = false;
    BoxSeen box;
    const INT_PTR result = testing::RunProgress(dialog, owner.Handle(), [&](HWND window) {
        switch (stage) {
            case 0:
                if (!converting) return false;
                GetDlgItemTextW(window, IDC_PROGRESS_TEXT, statusText, 64);
                GetWindowRect(window, &dialogRect);
                GetWindowRect(owner.Handle(), &ownerRect);
                PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
                PostMessageW(window, WM_KEYDOWN, VK_RETURN, 0x001C0001);
                PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
                PostMessageW(window, WM_COMMAND, IDOK, 0);
                PostMessageW(window, WM_CLOSE, 0, 0);
                PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
                stage = 1;
                return false;
            case 1:
                // The loop serves posted messages before it makes a timer
                // tick, so all of the above have been handled by now.
                survivedKeys = IsWindowVisible(window) != FALSE;
                gate.Open();
                stage = 2;
                return false;
            default:
                return ReadBoxAndAnswer(window, box, IDNO);
        }
    });

    EXPECT_EQ(result, IDOK);
    EXPECT_STREQ(statusText, L"Requesting action.");
    EXPECT_NEAR((dialogRect.left + dialogRect.right) / 2, (ownerRect.left + ownerRect.right) / 2, 1);
    EXPECT_NEAR((dialogRect.top + dialogRect.bottom) / 2, (ownerRect.top + ownerRect.bottom) / 2, 1);
    EXPECT_TRUE(survivedKeys) << "Enter, Esc or the close command ended the dialog during the export";
    ASSERT_TRUE(box.found);
    EXPECT_EQ(box.text, kCompleteText);
    EXPECT_TRUE(box.yes && box.no && !box.ok) << "a Yes/No question";
    EXPECT_EQ(box.files, (Bar{0, 3, 3}));
    EXPECT_EQ(box.step, (Bar{0, 3, 3}));
    EXPECT_THAT(calls.avi, ElementsAre("240105_074826E", "240105_075701e", "240105_080625e"));
    EXPECT_THAT(calls.kro, IsEmpty());
    EXPECT_EQ(testing::FolderViewerProcesses(), viewersBefore) << "No must not open the folder";
}

TEST(AVIProgress, APhotoSaveWritesEachPictureUnderItsListedNameAndNamesWhatFailed) {
    const std::vector<std::string> names = {"kro_pic1.JPG", "kro_empty.JPG", "..\\kro_up.JPG",
                                            "kro_pic2.JPG"};
    for (const std::string& name : names) fs::remove(kFolder / name);
    fs::remove("C:\\kro_up.JPG");
    const std::string picture1 = "\xFF\xD8 first picture \xFF\xD9";
    const std::string picture2 = "\xFF\xD8 second picture \xFF\xD9";
    fake::FakeKroDevice device;
    Calls calls;
    device.makePictureFile = [&](const char* name, std::int32_t* size, std::uint8_t* buffer) {
        calls.Add(calls.pictures, name);
        const std::string picture = name == names[0] ? picture1 : name == names[3] ? picture2 : std::string();
        std::copy(picture.begin(), picture.end(), buffer);
        *size = static_cast<std::int32_t>(picture.size());
        return picture.empty() ? 0 : 1;
    };
    testing::OwnerWindow owner;
    AVIProgress dialog(false);
    dialog.m_library = &device.Library();
    dialog.m_selection = names;
    dialog.m_exportKind = kPhotoExportKind;

    BoxSeen box;
    const INT_PTR result = testing::RunProgress(
        dialog, owner.Handle(), [&](HWND window) { return ReadBoxAndAnswer(window, box, IDNO); });

    EXPECT_EQ(result, IDOK);
    ASSERT_TRUE(box.found);
    EXPECT_EQ(box.text,
              "The export finished with failures.\n2 of 4 recordings could not be exported:\nkro_empty.JPG\n"
              "..\\kro_up.JPG\nThe folder is C:\\ZiduvOra\\. Do you want to open the folder?");
    EXPECT_EQ(box.files, (Bar{0, 4, 4}));
    EXPECT_EQ(ReadBytes(kFolder / "kro_pic1.JPG"), picture1);
    EXPECT_EQ(ReadBytes(kFolder / "kro_pic2.JPG"), picture2);
    EXPECT_FALSE(fs::exists(kFolder / "kro_empty.JPG")) << "an empty picture is no picture";
    EXPECT_FALSE(fs::exists("C:\\kro_up.JPG")) << "a name reached outside the folder";
    EXPECT_THAT(calls.pictures, ElementsAre("kro_pic1.JPG", "kro_empty.JPG", "kro_pic2.JPG"));
    for (const auto& entry : fs::directory_iterator(kFolder)) {
        EXPECT_NE(entry.path().extension(), ".tmp") << entry.path() << " left behind";
    }
    for (const std::string& name : names) fs::remove(kFolder / name);
}

TEST(AVIProgress, AnEmptySelectionAsksAtOnceAndYesOpensTheFolder) {
    testing::OwnerWindow owner;
    const std::set<DWORD> viewersBefore = testing::FolderViewerProcesses();
    AVIProgress dialog(false);
    dialog.m_exportKind = kNormalExportKind;

    BoxSeen box;
    const INT_PTR result = testing::RunProgress(
        dialog, owner.Handle(), [&](HWND window) { return ReadBoxAndAnswer(window, box, IDYES); });

    EXPECT_EQ(result, IDOK);
    ASSERT_TRUE(box.found);
    EXPECT_EQ(box.text, kCompleteText);
    EXPECT_EQ(box.files, (Bar{0, 100, 0})) << "no range is set for nothing";
    EXPECT_TRUE(fs::is_directory(kFolder)) << "the folder is made even for nothing";

    std::set<DWORD> opened;
    for (int i = 0; i < 300 && opened.empty(); ++i) {
        for (DWORD id : testing::FolderViewerProcesses()) {
            if (viewersBefore.count(id) == 0) opened.insert(id);
        }
        if (opened.empty()) Sleep(10);
    }
    EXPECT_FALSE(opened.empty()) << "Yes must open the folder";
    for (DWORD id : opened) {
        if (HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id)) {
            TerminateProcess(process, 0);
            WaitForSingleObject(process, 5000);
            CloseHandle(process);
        }
    }
}

TEST(AVIProgress, ABackupMakesBackupFilesEvenForPhotos) {
    fake::FakeKroDevice device;
    Calls calls;
    device.makeAviFile = [&](const char* name) { return calls.Add(calls.avi, name), 1; };
    device.makeKroFile = [&](const char* name) { return calls.Add(calls.kro, name), 1; };
    device.makePictureFile = [&](const char* name, std::int32_t*, std::uint8_t*) {
        return calls.Add(calls.pictures, name), 0;
    };
    testing::OwnerWindow owner;
    AVIProgress dialog(true);  // a backup request leaves the kind as it is
    dialog.m_library = &device.Library();
    dialog.m_selection = {"0105_073958.JPG", "240105_074826E"};

    BoxSeen box;
    const INT_PTR result = testing::RunProgress(
        dialog, owner.Handle(), [&](HWND window) { return ReadBoxAndAnswer(window, box, IDNO); });

    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(box.text, kCompleteText);
    EXPECT_THAT(calls.kro, ElementsAre("0105_073958.JPG", "240105_074826E"));
    EXPECT_THAT(calls.avi, IsEmpty());
    EXPECT_THAT(calls.pictures, IsEmpty());
}

// Stands for a C:\ZiduvOra\ that cannot be created (a plain file of that
// name, a drive that refuses it): nothing is there, nothing can be made.
class NoFolderFileSystem final : public ExportFileSystem {
public:
    bool FolderExists(const std::string&) override { return false; }
    bool CreateFolder(const std::string&) override { return false; }
    bool WriteFileReplacing(const std::string&, const std::string&, const std::uint8_t*, std::size_t) override {
        return false;
    }
    void RemoveStaleTemporaryFiles(const std::string&) override {}
};

// The library took every AVI, but the folder could not be created: the box
// says so with OK alone, and no folder that is not there is opened.
TEST(AVIProgress, AFolderThatCouldNotBeCreatedIsToldInAnOKBoxAndNotOpened) {
    fake::FakeKroDevice device;
    Calls calls;
    device.makeAviFile = [&](const char* name) { return calls.Add(calls.avi, name), 1; };
    NoFolderFileSystem noFolder;
    // The real folder is there, so that a wrongful open would show.
    fs::create_directories(kFolder);
    testing::OwnerWindow owner;
    const std::set<DWORD> viewersBefore = testing::FolderViewerProcesses();
    AVIProgress dialog(false);
    dialog.m_library = &device.Library();
    dialog.m_selection = {"240105_074826E", "240105_075701e"};
    dialog.m_exportKind = kEventExportKind;
    dialog.m_fileSystem = &noFolder;

    BoxSeen box;
    // Answered with its first button: OK, or Yes if it asked, which would
    // open the folder.
    const INT_PTR result = testing::RunProgress(dialog, owner.Handle(), [&](HWND window) {
        HWND saved = testing::FindSavedBox(window);
        const bool hasOk = saved != nullptr && GetDlgItem(saved, IDOK) != nullptr;
        return ReadBoxAndAnswer(window, box, hasOk ? IDOK : IDYES);
    });
    std::set<DWORD> opened;
    for (DWORD id : testing::FolderViewerProcesses()) {
        if (viewersBefore.count(id) == 0) opened.insert(id);
    }
    for (DWORD id : opened) {
        if (HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id)) {
            TerminateProcess(process, 0);
            WaitForSingleObject(process, 5000);
            CloseHandle(process);
        }
    }

    EXPECT_EQ(result, IDOK);
    ASSERT_TRUE(box.found);
    EXPECT_EQ(box.text,
              "The export finished with failures.\nThe folder C:\\ZiduvOra\\ could not be created.\n"
              "Nothing was saved in it.");
    EXPECT_TRUE(box.ok && !box.yes && !box.no) << "an OK box, no question";
    EXPECT_TRUE(opened.empty()) << "a folder that could not be created was opened";
    EXPECT_THAT(calls.avi, ElementsAre("240105_074826E", "240105_075701e"));
}

// A progress dialog whose done-check timer could not be set.
class NoTimerProgress final : public AVIProgress {
public:
    using AVIProgress::AVIProgress;

protected:
    bool StartDoneCheck() override { return false; }
};

// Whatever the worker meets, the dialog still reaches its question: a
// conversion that throws something that is no std::exception, and a timer
// that could not be set.
TEST(AVIProgress, AThrowingConversionOrAMissingTimerStillEndsInTheQuestion) {
    fake::FakeKroDevice device;
    device.makeAviFile = [](const char*) -> std::int32_t { throw 42; };
    testing::OwnerWindow owner;
    AVIProgress throwing(false);
    throwing.m_library = &device.Library();
    throwing.m_selection = {"240105_074826E", "240105_075701e"};
    throwing.m_exportKind = kEventExportKind;
    BoxSeen box;
    EXPECT_EQ(testing::RunProgress(throwing, owner.Handle(),
                                   [&](HWND window) { return ReadBoxAndAnswer(window, box, IDNO); }),
              IDOK);
    ASSERT_TRUE(box.found) << "the worker's end was never seen after a throwing conversion";
    EXPECT_THAT(box.text, ::testing::HasSubstr("2 of 2 recordings could not be exported:\n240105_074826E\n"
                                               "240105_075701e\n"));
    EXPECT_THAT(box.text, ::testing::Not(::testing::HasSubstr("could not be created")))
        << "the folder is not to blame";

    device.makeAviFile = [](const char*) { return 1; };
    NoTimerProgress untimed(false);
    untimed.m_library = &device.Library();
    untimed.m_selection = {"240105_074826E"};
    untimed.m_exportKind = kEventExportKind;
    BoxSeen untimedBox;
    EXPECT_EQ(testing::RunProgress(untimed, owner.Handle(),
                                   [&](HWND window) { return ReadBoxAndAnswer(window, untimedBox, IDNO); }),
              IDOK);
    ASSERT_TRUE(untimedBox.found) << "without its timer the dialog never asked";
    EXPECT_EQ(untimedBox.text, kCompleteText);
}

}  // namespace
}  // namespace kro

namespace kro {
namespace {

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
