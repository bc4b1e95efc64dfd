// LedraCmd: catalogues the devices named in a parameter file.
#include <iostream>

#include "app/driver.h"
#include "platform/command_line.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  ledra::MessageSink out(std::cout);
  ledra::MessageSink errors(std::cerr);
  std::unique_ptr<ledra::Platform> platform = ledra::NewRealPlatform(errors);
  // Only a person at a terminal is shown the progress of a walk.
  int columns = 0;
  if (platform->ErrorStreamIsTerminal(&columns)) errors.SetTerminal(columns);
  // The parameter file is named by its real name, whatever the code page holds.
  const ledra::CommandLine commandLine(argc, argv, ledra::ArgumentText::PlatformPaths);
  return ledra::RunDriver(commandLine.argc(), commandLine.argv(), *platform, out, errors);
}
