#include "recording_lists/recording_classification.h"

namespace kro {

std::optional<RecordingCategory> CategoryOfTypeLetter(char letter) {
    switch (letter) {
        case 'e':
        case 'E':
            return RecordingCategory::Event;
        case 'I':
            return RecordingCategory::Normal;
        case 'M':
        case 'P':
            return RecordingCategory::Park;
        case 'j':
        case 'J':
            return RecordingCategory::Photo;
        default:
            return std::nullopt;
    }
}

RecordingCategory ClassifyEntry(char letter, RecordingCategory current) {
    return CategoryOfTypeLetter(letter).value_or(current);
}

}  // namespace kro
