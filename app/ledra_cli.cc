#include "app/ledra_cli.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/ledra_command.h"
#include "platform/message_sink.h"

namespace ledra {

// Each defined in its own file, app/ledra_NAME.cc.
extern const ReaderCommand kVolumesCommand;
extern const ReaderCommand kFindCommand;
extern const ReaderCommand kListCommand;
extern const ReaderCommand kDiskUsageCommand;
extern const ReaderCommand kDiffCommand;
extern const ReaderCommand kDupesCommand;
extern const ReaderCommand kUniqueCommand;
extern const ReaderCommand kExportCommand;
extern const ReaderCommand kServeCommand;
extern const ReaderCommand kIndexCommand;

namespace {

// Every subcommand, in the order `ledra --help` lists them.
const ReaderCommand* const kCommands[] = {
    &kVolumesCommand, &kFindCommand,   &kListCommand,   &kDiskUsageCommand, &kDiffCommand,
    &kDupesCommand,   &kUniqueCommand, &kExportCommand, &kServeCommand,     &kIndexCommand,
};

// Levenshtein distance between two short words.
size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// The subcommand the first argument names; null when it names none or is an option.
const ReaderCommand* NamedCommand(int argc, const char* const* argv) {
  if (argc < 2) return nullptr;
  for (const ReaderCommand* command : kCommands) {
    if (std::strcmp(argv[1], command->name) == 0) return command;
  }
  return nullptr;
}

// The subcommand nearest to `word`, when it is near enough to be what was meant (a third of
// its letters changed, or two); empty otherwise.
std::string NearestSubcommand(const std::string& word) {
  const ReaderCommand* nearest = kCommands[0];
  size_t best = EditDistance(word, nearest->name);
  for (const ReaderCommand* command : kCommands) {
    const size_t d = EditDistance(word, command->name);
    if (d < best) best = d, nearest = command;
  }
  return best <= std::max<size_t>(2, word.size() / 3) ? nearest->name : "";
}

}  // namespace

void ReaderContext::Message(const std::string& line) const {
  errors.StartLine();
  errors.WriteLine("ledra: " + EscapeControls(line));
}

void ReaderContext::MessageText(const std::string& text) const {
  errors.StartLine();
  errors.WriteLine("ledra: " + text);
}

int RunReader(int argc, const char* const* argv, ReaderContext& context) {
  CLI::App app("Lists, searches and browses Ledra's disk catalogues (*.kvl).", "ledra");
  app.require_subcommand(1);
  app.set_version_flag("--version", "ledra " LEDRA_VERSION);
  // A run names its subcommand first, and only that one's options are set up: the whole
  // table is built for the help, --version and mistakes that need the others.
  const ReaderCommand* named = NamedCommand(argc, argv);
  if (named == nullptr && argc >= 2 && argv[1][0] != '-') {
    const std::string word = argv[1];
    const std::string nearest = NearestSubcommand(word);
    context.Message("'" + word + "' is no subcommand" +
                    (nearest.empty() ? "" : "; did you mean '" + nearest + "'?") +
                    " (ledra --help lists them)");
    return kReaderError;
  }
  struct Added {
    const ReaderCommand* command;
    CLI::App* app;
    std::unique_ptr<CommandOptions> options;
  };
  std::vector<Added> added;
  for (const ReaderCommand* command : kCommands) {
    if (named != nullptr && command != named) continue;
    CLI::App* sub = app.add_subcommand(command->name, command->description);
    added.push_back({command, sub, command->addOptions(*sub, context)});
  }

  std::ostringstream helpText;
  std::ostringstream errorText;
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e, helpText, errorText);
    context.out.Write(helpText.str());
    if (!errorText.str().empty()) context.errors.Write(errorText.str());
    return code == 0 ? kReaderFound : kReaderError;
  }
  for (Added& a : added) {
    if (!a.app->parsed()) continue;
    CommandRun run(context, a.options->common);
    const int status = a.command->run(run, *a.options);
    // The output stopped where its rows could not be set aside.
    if (!run.holdingProblem().empty()) {
      context.Message(run.holdingProblem());
      return kReaderError;
    }
    return status;
  }
  return kReaderError;  // require_subcommand(1) leaves no other way
}

}  // namespace ledra
