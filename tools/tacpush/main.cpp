// tacpush: inspect, convert and import push files, passports and probe logs.
#include <clocale>
#include <cstdio>
#include <cstring>

#include "tools/tacpush/command_registry.h"

namespace {
void PrintHelp(FILE* out) {
  std::fprintf(out, "usage: tacpush COMMAND [ARGS]\n\ncommands:\n");
  for (const auto& c : TacpushCommands()) std::fprintf(out, "  %-44s %s\n", c.usage, c.summary);
}
}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "C");
  if (argc < 2) {
    PrintHelp(stderr);
    return 2;
  }
  if (!std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "--help") ||
      !std::strcmp(argv[1], "help")) {
    PrintHelp(stdout);
    return 0;
  }
  for (const auto& c : TacpushCommands()) {
    if (std::strcmp(c.name, argv[1]) != 0) continue;
    CommandArgs args;
    for (int i = 2; i < argc; ++i) args.push_back(Utf8ToCp1251(argv[i]));
    try {
      return c.run(args);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "tacpush: %s: internal error: %s\n", c.name, e.what());
      return 3;
    }
  }
  std::fprintf(stderr, "tacpush: unknown command '%s'\n", argv[1]);
  PrintHelp(stderr);
  return 2;
}
