#include "recording_lists/recording_classification.h"

#include <gtest/gtest.h>

#include <map>

namespace kro {
namespace {

TEST(Classification, OnlyTheTableLettersNameACategoryAndCaseMatters) {
    const std::map<char, RecordingCategory> letters = {
        {'e', RecordingCategory::Event}, {'E', RecordingCategory::Event}, {'I', RecordingCategory::Normal},
        {'M', RecordingCategory::Park},  {'P', RecordingCategory::Park},  {'j', RecordingCategory::Photo},
        {'J', RecordingCategory::Photo},
    };
    for (int value = -128; value < 128; ++value) {
        const char letter = static_cast<char>(value);
        const auto found = letters.find(letter);
        if (found != letters.end()) {
            EXPECT_EQ(CategoryOfTypeLetter(letter), found->second) << value;
        } else {
            EXPECT_FALSE(CategoryOfTypeLetter(letter).has_value()) << value;
        }
    }
}

TEST(Classification, UnknownLetterKeepsTheCurrentCategory) {
    for (RecordingCategory current : kAllCategories) {
        for (char letter : {'i', 'm', 'p', 'x', '\0'}) EXPECT_EQ(ClassifyEntry(letter, current), current);
        EXPECT_EQ(ClassifyEntry('E', current), RecordingCategory::Event);
        EXPECT_EQ(ClassifyEntry('J', current), RecordingCategory::Photo);
    }
}

}  // namespace
}  // namespace kro
