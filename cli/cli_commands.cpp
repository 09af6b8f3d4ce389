#include "cli/cli_commands.h"

#include <algorithm>
#include <chrono>
#include <optional>

#include "cli/card_load.h"
#include "cli/export_run.h"
#include "cli/list_output.h"

namespace kro::cli {
namespace {

// How long watch waits for a card's arrival or removal: as good as ever.
constexpr std::chrono::hours kWatchForever{24 * 365 * 10};

NameConverter ConverterOf(CliEnvironment& environment) {
    return [&environment](std::string_view text) { return environment.system.AnsiToUtf8(text); };
}

// Waits for the card up to --wait and loads its lists; none (the reason
// said on standard error) when there is no card or it cannot be read.
std::optional<CardContents> LoadCardWithin(const Options& options, DeviceSession& device,
                                           CliEnvironment& environment) {
    if (!device.WaitForCard(true, std::chrono::seconds(options.waitSeconds))) {
        environment.console.Err(environment.stop.load()
                                    ? std::string("Stopped.\n")
                                    : "No card found within " + std::to_string(options.waitSeconds) +
                                          (options.waitSeconds == 1 ? " second.\n" : " seconds.\n"));
        return std::nullopt;
    }
    CardContents card = LoadCard(device.Library(), environment.stop);
    if (card.outcome != LoadOutcome::Completed) {
        environment.console.Err(environment.stop.load() ? "Stopped.\n"
                                                        : "The card's recordings could not be read.\n");
        return std::nullopt;
    }
    return card;
}

std::vector<RecordingRow> RowsOf(const CardContents& card, RecordingCategory category) {
    std::vector<RecordingRow> rows;
    for (const RecordingRow& row : card.rows) {
        if (row.category == category) rows.push_back(row);
    }
    return rows;
}

// "Exported 3 of 4 recordings of the event list into C:\ZiduvOra\; 2 were
// exported before." Without the folder: "Exported 0 of 4 recordings of the
// event list: the folder C:\ZiduvOra\ could not be created."
std::string OutcomeLine(CliEnvironment& environment, RecordingCategory category,
                        const ExportOutcome& outcome) {
    const std::size_t asked =
        static_cast<std::size_t>(outcome.exported) + outcome.failed.size() + outcome.stopped.size();
    const std::string folder = environment.system.AnsiToUtf8(environment.exportFolder);
    // The library may have taken every AVI, but it places them itself: none
    // is in a folder that is not there.
    std::string line =
        "Exported " + std::to_string(outcome.folderReady ? outcome.exported : 0) + " of " +
        std::to_string(asked) + (asked == 1 ? " recording" : " recordings") + " of the " +
        CategoryWord(category) + " list" +
        (outcome.folderReady ? " into " + folder : ": the folder " + folder + " could not be created");
    if (outcome.skipped > 0) {
        line += "; " + std::to_string(outcome.skipped) +
                (outcome.skipped == 1 ? " was exported before" : " were exported before");
    }
    return line + ".\n";
}

bool HasProblems(const ExportOutcome& outcome) {
    return !outcome.failed.empty() || !outcome.stopped.empty() || !outcome.folderReady;
}

}  // namespace

int RunList(const Options& options, DeviceSession& device, CliEnvironment& environment) {
    const std::optional<CardContents> card = LoadCardWithin(options, device, environment);
    if (!card) return kExitNoDevice;
    environment.console.Out(
        options.json
            ? FormatListJson(*card, options.categories, device.DeviceValue(), ConverterOf(environment))
            : FormatListText(*card, options.categories, ConverterOf(environment)));
    return kExitOk;
}

int RunExport(const Options& options, DeviceSession& device, CliEnvironment& environment) {
    const std::optional<CardContents> card = LoadCardWithin(options, device, environment);
    if (!card) return kExitNoDevice;
    const RecordingCategory category = options.categories.at(0);
    std::vector<RecordingRow> rows = RowsOf(*card, category);
    bool missing = false;
    if (!options.all) {
        // The named recordings, in list order; a name the list lacks is an
        // error of its own.
        for (const std::string& name : options.names) {
            if (std::none_of(rows.begin(), rows.end(),
                             [&](const RecordingRow& row) { return row.name == name; })) {
                environment.console.Err("Not on the card's " + std::string(CategoryWord(category)) +
                                        " list: " + DisplayName(environment.system.AnsiToUtf8(name)) + "\n");
                missing = true;
            }
        }
        std::erase_if(rows, [&](const RecordingRow& row) {
            return std::find(options.names.begin(), options.names.end(), row.name) == options.names.end();
        });
    }
    ExportRecord record = LoadExportRecord(environment);
    const ExportOutcome outcome =
        ExportRows(environment, device.Library(), category, rows, record, options.onlyNew);
    environment.console.Out(OutcomeLine(environment, category, outcome));
    ReportProblems(environment, outcome);
    return missing || HasProblems(outcome) ? kExitFailures : kExitOk;
}

// Watch runs unattended, so its output is all its user sees of it: once a
// line to standard output has failed it exports nothing more. The list being
// exported when that happens is finished (each of its recordings is whole),
// then watch ends.
int RunWatch(const Options& options, DeviceSession& device, CliEnvironment& environment) {
    CliConsole& console = environment.console;
    const auto report = [&console](const std::string& line) {
        console.Out(line);
        return !console.OutFailure();
    };
    std::string lists;
    for (RecordingCategory category : options.categories)
        lists += (lists.empty() ? "" : ", ") + std::string(CategoryWord(category));
    bool reporting = report("Waiting for cards to export " + lists +
                            (options.onlyNew ? " (new recordings)" : "") + " from. Press Ctrl+C to end.\n");
    bool problems = false;
    while (reporting && !environment.stop.load()) {
        if (!device.WaitForCard(true, kWatchForever)) break;
        if (!report(CardFoundLine(device.DeviceValue(), environment.disks))) break;
        const CardContents card = LoadCard(device.Library(), environment.stop);
        if (card.outcome == LoadOutcome::Completed) {
            ExportRecord record = LoadExportRecord(environment);
            for (RecordingCategory category : options.categories) {
                const ExportOutcome outcome = ExportRows(environment, device.Library(), category,
                                                         RowsOf(card, category), record, options.onlyNew);
                reporting = report(OutcomeLine(environment, category, outcome));
                ReportProblems(environment, outcome);
                problems = problems || HasProblems(outcome);
                if (!reporting) break;
            }
        } else if (!environment.stop.load()) {
            console.Err("The card's recordings could not be read.\n");
            problems = true;
        }
        if (!reporting || environment.stop.load()) break;
        if (!report("Waiting for the card to be removed.\n")) break;
        if (!device.WaitForCard(false, kWatchForever)) break;
        reporting = report("Card removed. Waiting for the next card.\n");
    }
    console.Out("Stopped.\n");
    return problems ? kExitFailures : kExitOk;
}

}  // namespace kro::cli
