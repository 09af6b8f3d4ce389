#include "tests/win/ui/dialog_template.h"

#include <cstdint>
#include <cstring>

namespace kro::testing {

namespace {

// Walks the template's WORD-aligned fields.
class Cursor {
public:
    Cursor(const std::uint8_t* begin, size_t size) : begin_(begin), at_(begin), end_(begin + size) {}

    template <typename T>
    T Read() {
        T value{};
        if (at_ + sizeof(T) <= end_) std::memcpy(&value, at_, sizeof(T));
        at_ += sizeof(T);
        return value;
    }
    std::wstring ReadString() {
        std::wstring text;
        for (WORD c = Read<WORD>(); c != 0 && at_ <= end_; c = Read<WORD>())
            text.push_back(static_cast<wchar_t>(c));
        return text;
    }
    // A "string or ordinal" field: 0 none, 0xFFFF then an ordinal, or text.
    void ReadStringOrOrdinal(std::wstring& text, int& ordinal) {
        const WORD first = Read<WORD>();
        if (first == 0) return;
        if (first == 0xFFFF) {
            ordinal = Read<WORD>();
            return;
        }
        at_ -= sizeof(WORD);
        text = ReadString();
    }
    void AlignTo(size_t bytes) {
        const size_t offset = static_cast<size_t>(at_ - begin_);
        at_ += (bytes - offset % bytes) % bytes;
    }
    void Skip(size_t bytes) { at_ += bytes; }
    bool Overran() const { return at_ > end_; }

private:
    const std::uint8_t* begin_;
    const std::uint8_t* at_;
    const std::uint8_t* end_;
};

std::wstring PredefinedClassName(int atom) {
    switch (atom) {
        case 0x80:
            return L"Button";
        case 0x81:
            return L"Edit";
        case 0x82:
            return L"Static";
        case 0x83:
            return L"ListBox";
        case 0x84:
            return L"ScrollBar";
        case 0x85:
            return L"ComboBox";
        default:
            return L"#" + std::to_wstring(atom);
    }
}

}  // namespace

std::optional<DialogTemplate> ReadDialogTemplate(int id) {
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5));  // RT_DIALOG
    if (found == nullptr) return std::nullopt;
    HGLOBAL loaded = LoadResource(module, found);
    const auto* bytes = static_cast<const std::uint8_t*>(LockResource(loaded));
    if (bytes == nullptr) return std::nullopt;
    Cursor cursor(bytes, SizeofResource(module, found));

    const WORD version = cursor.Read<WORD>();
    const WORD signature = cursor.Read<WORD>();
    if (version != 1 || signature != 0xFFFF) return std::nullopt;
    DialogTemplate dialog;
    cursor.Read<DWORD>();  // help ID
    dialog.exStyle = cursor.Read<DWORD>();
    dialog.style = cursor.Read<DWORD>();
    const WORD itemCount = cursor.Read<WORD>();
    dialog.x = cursor.Read<short>();
    dialog.y = cursor.Read<short>();
    dialog.width = cursor.Read<short>();
    dialog.height = cursor.Read<short>();
    std::wstring menu;
    int menuOrdinal = -1;
    cursor.ReadStringOrOrdinal(menu, menuOrdinal);
    int classOrdinal = -1;
    cursor.ReadStringOrOrdinal(dialog.className, classOrdinal);
    dialog.caption = cursor.ReadString();
    if (dialog.style & (DS_SETFONT | DS_SHELLFONT)) {
        dialog.pointSize = cursor.Read<WORD>();
        cursor.Read<WORD>();  // weight
        cursor.Read<BYTE>();  // italic
        cursor.Read<BYTE>();  // character set
        dialog.face = cursor.ReadString();
    }
    for (WORD i = 0; i < itemCount && !cursor.Overran(); ++i) {
        cursor.AlignTo(sizeof(DWORD));
        DialogItemTemplate item;
        cursor.Read<DWORD>();  // help ID
        item.exStyle = cursor.Read<DWORD>();
        item.style = cursor.Read<DWORD>();
        item.x = cursor.Read<short>();
        item.y = cursor.Read<short>();
        item.width = cursor.Read<short>();
        item.height = cursor.Read<short>();
        item.id = static_cast<int>(cursor.Read<DWORD>());
        int atom = -1;
        cursor.ReadStringOrOrdinal(item.className, atom);
        if (atom >= 0) item.className = PredefinedClassName(atom);
        cursor.ReadStringOrOrdinal(item.text, item.textOrdinal);
        cursor.Skip(cursor.Read<WORD>());  // creation data
        dialog.items.push_back(item);
    }
    if (cursor.Overran()) return std::nullopt;
    return dialog;
}

}  // namespace kro::testing
