#include "tests/win/main_window/dialog_flow.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>

#include "recording_lists/category_summary.h"
#include "recording_lists/recording_texts.h"
#include "resources/resource.h"
#include "tests/win/ui/modal_run.h"
#include "ui/list_view.h"

namespace kro::testing {
namespace {

namespace fs = std::filesystem;

constexpr char kDescriptor[] = "KROCARD.INI";
constexpr char kPulledDescriptor[] = "KROCARD.OUT";
constexpr std::size_t kHeaderSize = 48;
constexpr UINT kWatchdogMs = 120000;

// The native tree's card, as a path this Windows program can open: Wine
// shows the Linux root as drive Z:.
fs::path DemoCardSource() {
    std::string path = KRO_NATIVE_DEMO_CARD;
    if (!path.empty() && path.front() == '/') path = "Z:" + path;
    return fs::path(path);
}

template <typename T>
T Field(const std::string& bytes, std::size_t offset) {
    T value{};
    if (offset + sizeof value <= bytes.size()) std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

// The simulator's call that reports a letter: unknown letters come with
// the Normal call.
int CallCode(char letter) {
    switch (letter) {
        case 'e':
        case 'E':
            return 0;
        case 'M':
        case 'P':
            return 2;
        case 'j':
        case 'J':
            return 3;
        default:
            return 1;
    }
}

bool KnownLetter(char letter) {
    return std::strchr("eEIMPjJ", letter) != nullptr && letter != '\0';
}

struct Expected {
    std::array<Rows, kCategoryCount> rows;
    std::array<CategoryTotals, kCategoryCount> totals;
};

// The calls' entries one after another, each filed by its letter, or by
// the entry before it for a letter of no category.
Expected Expect(const std::vector<CardRecording>& card) {
    std::array<std::vector<CardRecording>, kCategoryCount> calls;
    for (const CardRecording& recording : card) calls[CallCode(recording.letter)].push_back(recording);
    Expected expected;
    int category = 0;
    for (auto& call : calls) {
        std::sort(call.begin(), call.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
        for (const CardRecording& recording : call) {
            if (KnownLetter(recording.letter)) category = CallCode(recording.letter);
            std::vector<std::string> row = {recording.name, FormatSizeText(recording.size)};
            if (category != 3) row.push_back(FormatDurationText(recording.duration));
            expected.rows[category].push_back(row);
            CategoryTotals& totals = expected.totals[category];
            ++totals.count;
            totals.bytes += recording.size;
            totals.seconds += recording.duration;
        }
    }
    return expected;
}

void SetVariable(const char* name, const std::string& value) {
    SetEnvironmentVariableA(name, value.empty() ? nullptr : value.c_str());
}

}  // namespace

DemoCard::DemoCard() {
    const fs::path source = DemoCardSource();
    if (!fs::exists(source / kDescriptor)) {
        throw std::runtime_error("no demo card at " + source.string() + " (the native tree makes it)");
    }
    static int made = 0;
    folder_ = fs::temp_directory_path() /
              ("kro_card_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++made));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    for (const auto& entry : fs::directory_iterator(source))
        fs::copy_file(entry.path(), folder_ / entry.path().filename());
    SetVariable("KROSIM_CARD", folder_.string());
    SetFaults("");
}

DemoCard::~DemoCard() {
    SetVariable("KROSIM_CARD", "");
    SetFaults("");
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
}

void DemoCard::Pull() const {
    fs::rename(folder_ / kDescriptor, folder_ / kPulledDescriptor);
}

void DemoCard::Insert() const {
    fs::rename(folder_ / kPulledDescriptor, folder_ / kDescriptor);
}

std::vector<CardRecording> DemoCard::Recordings() const {
    std::vector<CardRecording> recordings;
    for (const auto& entry : fs::directory_iterator(folder_)) {
        const std::string file = entry.path().filename().string();
        if (file.size() <= 4 || file.substr(file.size() - 4) != ".KRO") continue;
        const std::string bytes = FileBytes(entry.path());
        CardRecording recording;
        recording.name = file.substr(0, file.size() - 4);
        recording.letter = bytes.size() > 4 ? bytes[4] : '\0';
        recording.size = static_cast<std::uint32_t>(bytes.size());
        recording.duration = Field<std::int32_t>(bytes, 8);
        recording.framesPerSecond = bytes.size() > 5 ? static_cast<std::uint8_t>(bytes[5]) : 0;
        recording.frontFrames = Field<std::uint32_t>(bytes, 12);
        recording.frontWidth = Field<std::uint16_t>(bytes, 20);
        recording.frontHeight = Field<std::uint16_t>(bytes, 22);
        recordings.push_back(recording);
    }
    return recordings;
}

std::string DemoCard::FirstFrame(const std::string& name) const {
    const std::string bytes = FileBytes(folder_ / (name + ".KRO"));
    const auto length = Field<std::uint32_t>(bytes, kHeaderSize);
    if (kHeaderSize + 4 + length > bytes.size()) return {};
    return bytes.substr(kHeaderSize + 4, length);
}

void SetFaults(const char* switches) {
    SetVariable("KROSIM_FAULTS", switches);
}

std::array<Rows, kCategoryCount> ExpectedRows(const std::vector<CardRecording>& card) {
    return Expect(card).rows;
}

std::array<std::string, kCategoryCount> ExpectedSummaries(const std::vector<CardRecording>& card) {
    const Expected expected = Expect(card);
    std::array<std::string, kCategoryCount> lines;
    for (int i = 0; i < kCategoryCount; ++i) {
        const CategoryTotals& totals = expected.totals[i];
        lines[i] = FormatCategorySummary(i, totals.count, totals.bytes, totals.seconds).value_or("");
    }
    return lines;
}

HWND ListOf(HWND dialog, RecordingCategory category) {
    static constexpr int kLists[kCategoryCount] = {IDC_EVENT_LIST, IDC_NORMAL_LIST, IDC_PARK_LIST,
                                                   IDC_PHOTO_LIST};
    return GetDlgItem(dialog, kLists[CategoryIndex(category)]);
}

Rows ListRows(HWND dialog, RecordingCategory category) {
    const ui::ListView list(ListOf(dialog, category));
    const int columns = category == RecordingCategory::Photo ? 3 : 4;
    Rows rows;
    for (int item = 0; item < list.ItemCount(); ++item) {
        std::vector<std::string> cells;
        for (int column = 1; column < columns; ++column) cells.push_back(list.ItemTextA(item, column));
        rows.push_back(cells);
    }
    return rows;
}

std::string TextA(HWND window) {
    char text[1024] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string SummaryText(HWND dialog, RecordingCategory category) {
    static constexpr int kSummaries[kCategoryCount] = {IDC_EVENT_SUMMARY, IDC_NORMAL_SUMMARY,
                                                       IDC_PARK_SUMMARY, IDC_PHOTO_SUMMARY};
    return TextA(GetDlgItem(dialog, kSummaries[CategoryIndex(category)]));
}

int CheckedCount(HWND dialog, RecordingCategory category) {
    const ui::ListView list(ListOf(dialog, category));
    int checked = 0;
    for (int item = 0; item < list.ItemCount(); ++item) checked += list.IsChecked(item) ? 1 : 0;
    return checked;
}

void SetChecked(HWND dialog, RecordingCategory category, int row, bool checked) {
    ui::ListView(ListOf(dialog, category)).SetChecked(row, checked);
}

bool IsChecked(HWND dialog, RecordingCategory category, int row) {
    return ui::ListView(ListOf(dialog, category)).IsChecked(row);
}

void Click(HWND dialog, int buttonId) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, buttonId)));
}

INT_PTR RunDialog(CKroFileListDlg& dialog, std::function<bool(HWND)> step) {
    return RunModalWithSteps(dialog, std::move(step), nullptr, kWatchdogMs);
}

std::string FileBytes(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

bool Close(HWND window) {
    PostMessageW(window, WM_CLOSE, 0, 0);
    return true;
}

}  // namespace kro::testing
