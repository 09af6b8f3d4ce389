#include "cli/cli_options.h"

#include <gtest/gtest.h>

#include <sstream>

namespace kro::cli {
namespace {

using C = RecordingCategory;

struct ParseCase {
    std::vector<std::string> arguments;
    // Expected options, or the words the error must contain when none.
    std::optional<Options> options;
    std::vector<std::string> errorWords;
};

Options Make(Command command, std::vector<C> categories = {}, std::vector<std::string> names = {},
             bool all = false, bool onlyNew = false, bool json = false, int wait = kDefaultWaitSeconds) {
    return Options{command, std::move(categories), std::move(names), all, onlyNew, json, wait};
}

std::string Describe(const std::vector<std::string>& arguments) {
    std::ostringstream text;
    for (const std::string& argument : arguments) text << '[' << argument << ']';
    return text.str();
}

TEST(CliOptionsTest, EveryCommandAndEveryErrorParsesAsDocumented) {
    const std::vector<ParseCase> cases = {
        // help and version, wherever they stand
        {{"--help"}, Make(Command::Help), {}},
        {{"-h"}, Make(Command::Help), {}},
        {{"/?"}, Make(Command::Help), {}},
        {{"export", "bogus", "--help"}, Make(Command::Help), {}},
        {{"--version"}, Make(Command::Version), {}},
        {{"watch", "--version"}, Make(Command::Version), {}},
        // list
        {{"list"}, Make(Command::List), {}},
        {{"list", "--json"}, Make(Command::List, {}, {}, false, false, true), {}},
        {{"list", "--category", "PHOTO"}, Make(Command::List, {C::Photo}), {}},
        {{"list", "--category=park", "--wait", "0"},
         Make(Command::List, {C::Park}, {}, false, false, false, 0),
         {}},
        {{"list", "--wait=86400"}, Make(Command::List, {}, {}, false, false, false, 86400), {}},
        {{"list", "--category", "event", "--category", "event"}, Make(Command::List, {C::Event}), {}},
        // export
        {{"export", "event", "--all"}, Make(Command::Export, {C::Event}, {}, true), {}},
        {{"export", "Photo", "a.JPG", "b.JPG", "a.JPG", "--new"},
         Make(Command::Export, {C::Photo}, {"a.JPG", "b.JPG"}, false, true),
         {}},
        {{"export", "normal", "--", "--all"}, Make(Command::Export, {C::Normal}, {"--all"}), {}},
        {{"export", "park", "--all", "--wait", "3"},
         Make(Command::Export, {C::Park}, {}, true, false, false, 3),
         {}},
        // watch
        {{"watch", "event", "photo", "event", "--new"},
         Make(Command::Watch, {C::Event, C::Photo}, {}, false, true),
         {}},
        // errors: no command, unknown command or option, options of another command
        {{}, std::nullopt, {"No command", "--help"}},
        {{"copy"}, std::nullopt, {"Unknown command 'copy'", "--help"}},
        {{"--json"}, std::nullopt, {"Unknown option '--json'", "--help"}},
        {{"list", "--frobnicate"}, std::nullopt, {"Unknown option '--frobnicate'", "--help"}},
        {{"list", "--new"}, std::nullopt, {"Unknown option '--new'"}},
        {{"list", "--all"}, std::nullopt, {"Unknown option '--all'"}},
        {{"export", "event", "--all", "--json"}, std::nullopt, {"Unknown option '--json'"}},
        {{"watch", "event", "--wait", "5"}, std::nullopt, {"Unknown option '--wait'"}},
        {{"watch", "event", "--category", "event"}, std::nullopt, {"Unknown option '--category'"}},
        {{"list", "--json=1"}, std::nullopt, {"--json takes no value"}},
        // list: category and wait values
        {{"list", "--category"}, std::nullopt, {"--category needs a list"}},
        {{"list", "--category", "video"}, std::nullopt, {"Unknown list 'video'"}},
        {{"list", "--category", "event", "--category", "park"}, std::nullopt, {"--category given twice"}},
        {{"list", "--wait"}, std::nullopt, {"--wait needs"}},
        {{"list", "--wait", "-1"}, std::nullopt, {"not '-1'"}},
        {{"list", "--wait", "ten"}, std::nullopt, {"not 'ten'"}},
        {{"list", "--wait", "86401"}, std::nullopt, {"not '86401'"}},
        {{"list", "--wait", ""}, std::nullopt, {"not ''"}},
        {{"list", "240105_074826E"}, std::nullopt, {"list takes no names"}},
        // export: list, names or --all
        {{"export"}, std::nullopt, {"export needs a list"}},
        {{"export", "--all"}, std::nullopt, {"export needs a list"}},
        {{"export", "movies", "--all"}, std::nullopt, {"Unknown list 'movies'"}},
        {{"export", "event"}, std::nullopt, {"names or --all"}},
        {{"export", "event", "--new"}, std::nullopt, {"names or --all"}},
        {{"export", "event", "x", "--all"}, std::nullopt, {"not both"}},
        // watch: one or more known lists
        {{"watch"}, std::nullopt, {"watch needs one or more lists"}},
        {{"watch", "--new"}, std::nullopt, {"watch needs one or more lists"}},
        {{"watch", "event", "cars"}, std::nullopt, {"Unknown list 'cars'"}},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(Describe(c.arguments));
        const ParseResult result = ParseArguments(c.arguments);
        if (c.options) {
            ASSERT_TRUE(result.options.has_value()) << result.error;
            EXPECT_EQ(result.options->command, c.options->command);
            EXPECT_EQ(result.options->categories, c.options->categories);
            EXPECT_EQ(result.options->names, c.options->names);
            EXPECT_EQ(result.options->all, c.options->all);
            EXPECT_EQ(result.options->onlyNew, c.options->onlyNew);
            EXPECT_EQ(result.options->json, c.options->json);
            EXPECT_EQ(result.options->waitSeconds, c.options->waitSeconds);
        } else {
            EXPECT_FALSE(result.options.has_value());
            for (const std::string& word : c.errorWords)
                EXPECT_NE(result.error.find(word), std::string::npos) << result.error;
        }
    }
}

TEST(CliOptionsTest, HelpNamesEveryCommandAndExitCode) {
    const std::string help = HelpText();
    for (const char* word : {"list", "export", "watch", "--json", "--new", "--all", "--wait", "--category",
                             "C:\\ZiduvOra\\", "KroFileListCLI.record"}) {
        EXPECT_NE(help.find(word), std::string::npos) << word;
    }
    for (const char* code : {"  0  ", "  1  ", "  2  ", "  3  ", "  4  "})
        EXPECT_NE(help.find(code), std::string::npos);
    EXPECT_EQ(VersionText().rfind("KroFileListCLI 1.", 0), 0u);
}

}  // namespace
}  // namespace kro::cli
