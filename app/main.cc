// LedraCmd: catalogues the devices named in a parameter file.
#include <iostream>

#include "app/driver.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  ledra::MessageSink out(std::cout);
  ledra::MessageSink errors(std::cerr);
  std::unique_ptr<ledra::Platform> platform = ledra::NewRealPlatform(errors);
  return ledra::RunDriver(argc, argv, *platform, out, errors);
}
