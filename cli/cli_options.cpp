#include "cli/cli_options.h"

#include <algorithm>
#include <cctype>

namespace kro::cli {
namespace {

constexpr const char* kHint = " (see KroFileListCLI --help)";

ParseResult Wrong(const std::string& what) {
    return {std::nullopt, what + kHint};
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// "--wait=5" is taken as "--wait" "5": splits an option from its value.
struct Argument {
    std::string option;  // "--wait"; empty for a plain word
    std::optional<std::string> inlineValue;
    std::string word;  // the argument as given
};

Argument Split(const std::string& text) {
    Argument argument{"", std::nullopt, text};
    if (text.size() < 2 || text[0] != '-') return argument;
    const auto equals = text.find('=');
    if (text.rfind("--", 0) == 0 && equals != std::string::npos) {
        argument.option = text.substr(0, equals);
        argument.inlineValue = text.substr(equals + 1);
    } else {
        argument.option = text;
    }
    return argument;
}

std::optional<int> ParseSeconds(const std::string& text) {
    if (text.empty() || text.size() > 6) return std::nullopt;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value > kMaxWaitSeconds) return std::nullopt;
    return value;
}

template <typename T>
void AddOnce(std::vector<T>& list, const T& item) {
    if (std::find(list.begin(), list.end(), item) == list.end()) list.push_back(item);
}

}  // namespace

std::optional<RecordingCategory> ParseCategory(const std::string& word) {
    const std::string lower = Lower(word);
    for (RecordingCategory category : kAllCategories) {
        if (lower == CategoryWord(category)) return category;
    }
    return std::nullopt;
}

const char* CategoryWord(RecordingCategory category) {
    switch (category) {
        case RecordingCategory::Event:
            return "event";
        case RecordingCategory::Normal:
            return "normal";
        case RecordingCategory::Park:
            return "park";
        case RecordingCategory::Photo:
            return "photo";
    }
    return "?";
}

static ParseResult Only(Command command) {
    Options options;
    options.command = command;
    return {options, ""};
}

ParseResult ParseArguments(const std::vector<std::string>& arguments) {
    // --help and --version win wherever they stand, as users expect.
    for (const std::string& text : arguments) {
        if (text == "--") break;
        if (text == "--help" || text == "-h" || text == "/?") return Only(Command::Help);
        if (text == "--version") return Only(Command::Version);
    }
    if (arguments.empty()) return Wrong("No command given: use list, export or watch");

    Options options;
    const std::string& commandWord = arguments[0];
    if (commandWord == "list") {
        options.command = Command::List;
    } else if (commandWord == "export") {
        options.command = Command::Export;
    } else if (commandWord == "watch") {
        options.command = Command::Watch;
    } else if (commandWord.rfind("-", 0) == 0) {
        return Wrong("Unknown option '" + commandWord + "' before the command");
    } else {
        return Wrong("Unknown command '" + commandWord + "': use list, export or watch");
    }
    const Command command = options.command;

    std::vector<std::string> words;
    bool optionsEnded = false;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const Argument argument =
            optionsEnded ? Argument{"", std::nullopt, arguments[i]} : Split(arguments[i]);
        if (argument.option.empty()) {
            words.push_back(argument.word);
            continue;
        }
        const std::string& option = argument.option;
        auto takeValue = [&]() -> std::optional<std::string> {
            if (argument.inlineValue) return argument.inlineValue;
            if (i + 1 < arguments.size()) return arguments[++i];
            return std::nullopt;
        };
        const bool flag = !argument.inlineValue;
        if (option == "--") {
            optionsEnded = true;
        } else if (option == "--json" && command == Command::List && flag) {
            options.json = true;
        } else if (option == "--new" && command != Command::List && flag) {
            options.onlyNew = true;
        } else if (option == "--all" && command == Command::Export && flag) {
            options.all = true;
        } else if (option == "--category" && command == Command::List) {
            const auto value = takeValue();
            if (!value) return Wrong("--category needs a list: event, normal, park or photo");
            const auto category = ParseCategory(*value);
            if (!category) return Wrong("Unknown list '" + *value + "': use event, normal, park or photo");
            if (!options.categories.empty() && options.categories[0] != *category)
                return Wrong("--category given twice");
            options.categories = {*category};
        } else if (option == "--wait" && command != Command::Watch) {
            const auto value = takeValue();
            if (!value) return Wrong("--wait needs a number of seconds");
            const auto seconds = ParseSeconds(*value);
            if (!seconds) {
                return Wrong("--wait takes whole seconds from 0 to " + std::to_string(kMaxWaitSeconds) +
                             ", not '" + *value + "'");
            }
            options.waitSeconds = *seconds;
        } else if (!flag && (option == "--json" || option == "--new" || option == "--all")) {
            return Wrong("Option " + option + " takes no value");
        } else {
            return Wrong("Unknown option '" + option + "' for " + commandWord);
        }
    }

    switch (command) {
        case Command::List:
            if (!words.empty()) return Wrong("list takes no names: '" + words[0] + "'");
            break;
        case Command::Export: {
            if (words.empty()) return Wrong("export needs a list: event, normal, park or photo");
            const auto category = ParseCategory(words[0]);
            if (!category) return Wrong("Unknown list '" + words[0] + "': use event, normal, park or photo");
            options.categories = {*category};
            for (std::size_t i = 1; i < words.size(); ++i) AddOnce(options.names, words[i]);
            if (options.all && !options.names.empty())
                return Wrong("Give recording names or --all, not both");
            if (!options.all && options.names.empty()) return Wrong("export needs recording names or --all");
            break;
        }
        case Command::Watch:
            if (words.empty()) return Wrong("watch needs one or more lists: event, normal, park or photo");
            for (const std::string& word : words) {
                const auto category = ParseCategory(word);
                if (!category) return Wrong("Unknown list '" + word + "': use event, normal, park or photo");
                AddOnce(options.categories, *category);
            }
            break;
        default:
            break;
    }
    return {options, ""};
}

}  // namespace kro::cli
