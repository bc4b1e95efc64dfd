#include "app/ledra_cli.h"

#include <CLI/CLI.hpp>
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
extern const ReaderCommand kIndexCommand;

namespace {

// Every subcommand, in the order `ledra --help` lists them.
const ReaderCommand* const kCommands[] = {
    &kVolumesCommand, &kFindCommand,   &kListCommand,   &kDiskUsageCommand, &kDiffCommand,
    &kDupesCommand,   &kUniqueCommand, &kExportCommand, &kIndexCommand,
};

}  // namespace

void ReaderContext::Message(const std::string& line) const {
  errors.StartLine();
  errors.WriteLine("ledra: " + EscapeControls(line));
}

int RunReader(int argc, const char* const* argv, ReaderContext& context) {
  CLI::App app("Lists, searches and browses Ledra's disk catalogues (*.kvl).", "ledra");
  app.require_subcommand(1);
  struct Added {
    const ReaderCommand* command;
    CLI::App* app;
    std::unique_ptr<CommandOptions> options;
  };
  std::vector<Added> added;
  for (const ReaderCommand* command : kCommands) {
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
    return a.command->run(run, *a.options);
  }
  return kReaderError;  // require_subcommand(1) leaves no other way
}

}  // namespace ledra
