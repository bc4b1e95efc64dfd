#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// CommandLineToArgvW
#include <shellapi.h>

#include "platform/command_line.h"
#include "platform/wide_path_win32.h"

namespace ledra {

namespace {

// One argument in the text asked for: UTF-8, or path text of the ANSI code page in which
// a component the code page lacks takes the '<hex>' form the platform reads back.
std::string Converted(const std::wstring& wide, ArgumentText text) {
  return text == ArgumentText::Utf8 ? ToUtf8(wide) : PathText(wide);
}

}  // namespace

CommandLine::CommandLine(int argc, char** argv, ArgumentText text) : text_(text) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide != nullptr && count == argc) {
    for (int i = 0; i < count; ++i) arguments_.push_back(Converted(wide[i], text));
  } else {
    // The runtime split the line otherwise (or it could not be had): its own arguments are
    // kept rather than arguments that may not be the ones meant.
    for (int i = 0; i < argc; ++i) arguments_.emplace_back(argv[i]);
  }
  if (wide != nullptr) LocalFree(wide);
  for (const std::string& argument : arguments_) pointers_.push_back(argument.c_str());
  pointers_.push_back(nullptr);
}

const char* CommandLine::Environment(const char* name) {
  const std::wstring wideName = FromUtf8(name);
  const DWORD needed = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
  if (needed == 0) return nullptr;
  std::wstring value(needed, L'\0');
  const DWORD got = GetEnvironmentVariableW(wideName.c_str(), &value[0], needed);
  if (got >= needed) return nullptr;
  value.resize(got);
  environment_.push_back(Converted(value, text_));
  return environment_.back().c_str();
}

}  // namespace ledra
