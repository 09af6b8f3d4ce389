// Export requests from the main dialog over the simulator and the demo
// card: refusals, AVIs and pictures in the export folder, the progress
// dialog that Esc and the close command cannot end, ticks that stay, and
// hostile names that reach nothing outside the folder.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "main_window/column_table.h"
#include "resources/resource.h"
#include "tests/win/main_window/dialog_flow.h"

namespace kro::testing {
namespace {

namespace fs = std::filesystem;

using ::testing::ElementsAre;
using ::testing::HasSubstr;

const fs::path kFolder = "C:\\ZiduvOra\\";
constexpr char kCompleteText[] =
    "Save the conversion is complete.\nThe folder is C:\\ZiduvOra\\. Do you want to open the folder?";

std::uint32_t U32(const std::string& bytes, std::size_t offset) {
    std::uint32_t value = 0;
    if (offset + 4 <= bytes.size()) std::memcpy(&value, bytes.data() + offset, 4);
    return value;
}

// The parts of an AVI file that players rely on, read from its RIFF tree.
struct AviShape {
    bool riff = false;              // "RIFF" size "AVI "
    std::uint32_t totalFrames = 0;  // avih
    std::uint32_t width = 0, height = 0;
    int jpegChunks = 0;  // "00dc" chunks in "movi" holding a JPEG picture
    int otherChunks = 0;
    std::uint32_t indexEntries = 0;  // idx1 entries
};

void ReadChunks(const std::string& bytes, std::size_t begin, std::size_t end, AviShape& shape, bool inMovi) {
    std::size_t at = begin;
    while (at + 8 <= end) {
        const std::string id = bytes.substr(at, 4);
        const std::uint32_t size = U32(bytes, at + 4);
        const std::size_t data = at + 8;
        if (data + size > end) return;
        if (id == "LIST" && size >= 4) {
            ReadChunks(bytes, data + 4, data + size, shape, bytes.substr(data, 4) == "movi");
        } else if (id == "avih" && size >= 40) {
            shape.totalFrames = U32(bytes, data + 16);
            shape.width = U32(bytes, data + 32);
            shape.height = U32(bytes, data + 36);
        } else if (id == "idx1") {
            shape.indexEntries = size / 16;
        } else if (inMovi && id == "00dc" && size >= 4 && bytes.compare(data, 2, "\xFF\xD8") == 0 &&
                   bytes.compare(data + size - 2, 2, "\xFF\xD9") == 0) {
            ++shape.jpegChunks;
        } else if (inMovi) {
            ++shape.otherChunks;
        }
        at = data + size + (size & 1);
    }
}

AviShape ReadAvi(const fs::path& path) {
    const std::string bytes = FileBytes(path);
    AviShape shape;
    shape.riff = bytes.size() >= 12 && bytes.compare(0, 4, "RIFF") == 0 && bytes.compare(8, 4, "AVI ") == 0 &&
                 U32(bytes, 4) + 8 == bytes.size();
    if (shape.riff) ReadChunks(bytes, 12, bytes.size(), shape, false);
    return shape;
}

// The progress dialog: the dialog the main dialog owns that has the bars.
HWND FindProgress(HWND main) {
    HWND window = nullptr;
    while ((window = FindWindowExW(nullptr, window, L"#32770", nullptr)) != nullptr) {
        if (GetWindow(window, GW_OWNER) == main && GetDlgItem(window, IDC_PROGRESS_FILES) != nullptr &&
            IsWindowVisible(window)) {
            return window;
        }
    }
    return nullptr;
}

// Answers the "Saved" question of the running export with No.
std::function<bool(HWND)> AnswerSaved(std::string& text) {
    return [&text](HWND window) {
        HWND progress = FindProgress(window);
        HWND box = progress != nullptr ? FindBox(progress, L"Saved") : nullptr;
        if (box == nullptr) return false;
        text = BoxText(box);
        PostMessageW(box, WM_COMMAND, IDNO, 0);
        return true;
    };
}

std::function<bool(HWND)> ProgressGone() {
    return [](HWND window) { return FindProgress(window) == nullptr; };
}

class ExportFlow : public ::testing::Test {
protected:
    ExportFlow() : recordings(card.Recordings()), rows(ExpectedRows(recordings)) {}

    std::function<bool(HWND)> Loaded() const {
        const std::string last = ExpectedSummaries(recordings)[3];
        return [last](HWND window) { return SummaryText(window, RecordingCategory::Photo) == last; };
    }
    const CardRecording& Recording(const std::string& name) const {
        for (const CardRecording& recording : recordings) {
            if (recording.name == name) return recording;
        }
        throw std::runtime_error("no recording " + name);
    }

    DemoCard card;
    std::vector<CardRecording> recordings;
    std::array<Rows, kCategoryCount> rows;
};

TEST_F(ExportFlow, EachButtonWithNothingTickedShowsItsOwnRefusal) {
    std::vector<std::wstring> texts;
    std::vector<bool> okOnly;
    std::vector<std::function<bool(HWND)>> stages = {Loaded()};
    // The four save buttons in column order, then the four backup buttons.
    std::vector<int> buttons;
    for (const Column& column : kColumns) buttons.push_back(column.save);
    for (const Column& column : kColumns) buttons.push_back(column.backup);
    for (const int button : buttons) {
        stages.push_back([id = button](HWND window) {
            Click(window, id);  // the backup buttons are hidden: their handlers are reached by ID
            return true;
        });
        stages.push_back([&](HWND window) {
            HWND box = FindBox(window, L"Error");
            if (box == nullptr) return false;
            texts.push_back(BoxTextW(box));
            okOnly.push_back(GetDlgItem(box, IDOK) != nullptr && GetDlgItem(box, IDCANCEL) == nullptr &&
                             GetDlgItem(box, IDNO) == nullptr && FindProgress(window) == nullptr);
            PostMessageW(box, WM_COMMAND, IDOK, 0);
            return true;
        });
    }
    stages.push_back(&Close);
    CKroFileListDlg dialog;
    RunDialog(dialog, Stages(std::move(stages)));

    const std::wstring backup =
        L"KRO\uD30C\uC77C\uB85C \uBCC0\uD658\uD560 KRO\uC601\uC0C1\uC744 \uC120\uD0DD\uD558\uC138\uC694!!";
    EXPECT_THAT(texts, ElementsAre(L"Check a file in the Event list!!", L"Check a file in the Normal list!!",
                                   L"Check a file in the Park list!!", L"Check a file in the Photo list!!",
                                   backup, backup, backup, backup));
    EXPECT_THAT(okOnly, ElementsAre(true, true, true, true, true, true, true, true));
}

TEST_F(ExportFlow, ThreeTickedEventRowsBecomePlayableAvisWhileEscAndCloseCannotEndTheExport) {
    const Rows& events = rows[0];
    const std::vector<std::string> names = {events.at(0).at(0), events.at(2).at(0), events.at(4).at(0)};
    for (const std::string& name : names) fs::remove(kFolder / (name + ".avi"));
    std::string saved;
    bool progressSurvived = false;
    std::vector<bool> ticks;
    CKroFileListDlg dialog;
    RunDialog(dialog, Stages({
                          Loaded(),
                          [](HWND window) {
                              for (int row : {4, 0, 2})
                                  SetChecked(window, RecordingCategory::Event, row, true);
                              SetFaults("slow=300");  // time to try closing the progress dialog
                              Click(window, IDC_SAVE_EVENT);
                              return true;
                          },
                          [](HWND window) {
                              HWND progress = FindProgress(window);
                              if (progress == nullptr) return false;
                              PostMessageW(progress, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
                              PostMessageW(progress, WM_COMMAND, IDCANCEL, 0);
                              PostMessageW(progress, WM_CLOSE, 0, 0);
                              return true;
                          },
                          [&](HWND window) {
                              // Served before this tick; the export still runs.
                              progressSurvived = FindProgress(window) != nullptr;
                              SetFaults("");
                              return true;
                          },
                          AnswerSaved(saved),
                          ProgressGone(),
                          [&](HWND window) {
                              for (int row = 0; row < static_cast<int>(events.size()); ++row) {
                                  ticks.push_back(IsChecked(window, RecordingCategory::Event, row));
                              }
                              return Close(window);
                          },
                      }));

    EXPECT_TRUE(progressSurvived);
    EXPECT_EQ(saved, kCompleteText);
    for (const std::string& name : names) {
        const AviShape avi = ReadAvi(kFolder / (name + ".avi"));
        const CardRecording& recording = Recording(name);
        EXPECT_TRUE(avi.riff) << name;
        EXPECT_EQ(avi.totalFrames, recording.frontFrames) << name;
        EXPECT_EQ(avi.jpegChunks, static_cast<int>(recording.frontFrames)) << name;
        EXPECT_EQ(avi.otherChunks, 0) << name;
        EXPECT_EQ(avi.indexEntries, recording.frontFrames) << name;
        EXPECT_EQ(avi.width, static_cast<std::uint32_t>(recording.frontWidth)) << name;
        EXPECT_EQ(avi.height, static_cast<std::uint32_t>(recording.frontHeight)) << name;
        fs::remove(kFolder / (name + ".avi"));
    }
    ASSERT_EQ(ticks.size(), events.size());
    for (std::size_t row = 0; row < ticks.size(); ++row) {
        EXPECT_EQ(ticks[row], row == 0 || row == 2 || row == 4)
            << "row " << row << ": ticks stay as they were";
    }
}

TEST_F(ExportFlow, APhotoSaveWritesThePicturesUnderTheirListedNames) {
    const Rows& photos = rows[3];
    const std::vector<std::string> names = {photos.at(1).at(0), photos.at(3).at(0)};
    for (const std::string& name : names) fs::remove(kFolder / name);
    std::string saved;
    CKroFileListDlg dialog;
    RunDialog(dialog, Stages({
                          Loaded(),
                          [](HWND window) {
                              SetChecked(window, RecordingCategory::Photo, 1, true);
                              SetChecked(window, RecordingCategory::Photo, 3, true);
                              Click(window, IDC_SAVE_PHOTO);
                              return true;
                          },
                          AnswerSaved(saved),
                          ProgressGone(),
                          &Close,
                      }));

    EXPECT_EQ(saved, kCompleteText);
    for (const std::string& name : names) {
        const std::string picture = FileBytes(kFolder / name);
        ASSERT_GE(picture.size(), 4u) << name;
        EXPECT_EQ(picture.substr(0, 2), "\xFF\xD8") << name << ": JPEG start of image";
        EXPECT_EQ(picture.substr(picture.size() - 2), "\xFF\xD9") << name << ": JPEG end of image";
        EXPECT_EQ(picture, card.FirstFrame(name)) << name;
        fs::remove(kFolder / name);
    }
}

// Names in a folder, or those of them that contain `part`.
std::set<std::string> NamesIn(const fs::path& folder, const std::string& part = "") {
    std::set<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.find(part) != std::string::npos) names.insert(name);
    }
    return names;
}

TEST_F(ExportFlow, HostileNamesReachNothingOutsideTheFolder) {
    SetFaults("hostile");
    fs::create_directories(kFolder);
    const std::set<std::string> rootBefore = NamesIn("C:\\");
    const std::set<std::string> currentBefore = NamesIn(fs::current_path());
    const std::set<std::string> tmpBefore = NamesIn("Z:\\tmp", "evil");
    std::vector<std::string> saved(4);
    std::vector<std::function<bool(HWND)>> stages = {Loaded()};
    const int checkAll[] = {IDC_CHECK_ALL_EVENT, IDC_CHECK_ALL_NORMAL, IDC_CHECK_ALL_PARK,
                            IDC_CHECK_ALL_PHOTO};
    const int save[] = {IDC_SAVE_EVENT, IDC_SAVE_NORMAL, IDC_SAVE_PARK, IDC_SAVE_PHOTO};
    for (int column = 0; column < 4; ++column) {
        stages.push_back([&, column](HWND window) {
            Click(window, checkAll[column]);
            Click(window, save[column]);
            return true;
        });
        stages.push_back(AnswerSaved(saved[column]));
        stages.push_back(ProgressGone());
    }
    stages.push_back(&Close);
    CKroFileListDlg dialog;
    RunDialog(dialog, Stages(std::move(stages)));

    for (const std::string& text : saved) EXPECT_THAT(text, HasSubstr("could not be exported"));
    EXPECT_EQ(NamesIn("C:\\"), rootBefore);
    EXPECT_EQ(NamesIn(fs::current_path()), currentBefore);
    EXPECT_EQ(NamesIn("Z:\\tmp", "evil"), tmpBefore);
    for (const auto& entry : fs::directory_iterator(kFolder)) {
        EXPECT_TRUE(entry.is_regular_file()) << entry.path() << " is not a plain file";
    }
    for (const CardRecording& recording : recordings) {
        fs::remove(kFolder / recording.name);
        fs::remove(kFolder / (recording.name + ".avi"));
    }
}

}  // namespace
}  // namespace kro::testing
