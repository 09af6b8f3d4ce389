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
using testing::Bar;
using testing::BoxSeen;
using testing::Gate;
using testing::kCompleteText;
using testing::OpenOnExit;
using testing::ReadBar;
using testing::ReadBoxAndAnswer;

const fs::path kFolder = "C:\\ZiduvOra\\";

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

std::string ReadBytes(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

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
