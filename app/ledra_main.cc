// ledra: lists, searches and browses the catalogues LedraCmd writes.
#include <ctime>
#include <iostream>
#include <thread>

#include "app/ledra_cli.h"
#include "platform/code_page.h"
#include "platform/command_line.h"
#include "platform/platform.h"
#include "query/terminal_output.h"

int main(int argc, char** argv) {
  ledra::MessageSink errors(std::cerr);
  std::unique_ptr<ledra::Platform> platform = ledra::NewReaderPlatform(errors);
  // Arguments, LEDRA_CATALOGS and every path the platform takes are UTF-8.
  ledra::CommandLine commandLine(argc, argv, ledra::ArgumentText::Utf8);
  platform->UseUtf8Paths();
  int columns = 0;
  // Long work (`ledra index`) shows its progress on a terminal.
  if (platform->ErrorStreamIsTerminal(&columns)) errors.SetTerminal(columns);
  std::unique_ptr<ledra::StandardOutput> standardOutput = platform->OpenStandardOutput();
  // A person reading results is shielded from names that hold terminal commands; a pipe
  // or a file gets the stored bytes.
  const bool terminal = platform->OutputStreamIsTerminal();
  ledra::TerminalOutput shown(*standardOutput);
  ledra::OutputSink& out = terminal ? static_cast<ledra::OutputSink&>(shown) : *standardOutput;
  const unsigned cores = std::thread::hardware_concurrency();
  ledra::ReaderContext context{*platform,
                               out,
                               errors,
                               commandLine.Environment("LEDRA_CATALOGS"),
                               static_cast<int64_t>(std::time(nullptr)),
                               static_cast<int>(cores == 0  ? 1
                                                : cores > 8 ? 8
                                                            : cores)};
  context.standardOutput = standardOutput.get();
  context.terminal = terminal;
  context.ansiCodePage = ledra::MachineAnsiCodePage();
  const int status = ledra::RunReader(commandLine.argc(), commandLine.argv(), context);
  if (terminal) shown.Finish();
  if (!standardOutput->Flush() && status != ledra::kReaderError) return ledra::kReaderError;
  return status;
}
