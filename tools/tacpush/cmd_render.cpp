// tacpush render FILE OUT.png [...]: the sensor map of a frame as the push viewer shows it.
// Drawing needs Qt, which tacpush does without: the work is done by tacpush_render (built with
// the viewer, view/render_main.cpp) from the same folder, which gets the arguments unchanged.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/tacpush/command_registry.h"

namespace {

std::filesystem::path RendererPath() {
  std::error_code ec;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return (ec ? std::filesystem::path(".") : self.parent_path()) / "tacpush_render";
}

int RunRender(const CommandArgs& args) {
  if (args.size() < 2) return tacpush::UsageError("render", "render takes FILE and OUT.png");
  const std::string program = RendererPath().string();
  std::vector<std::string> utf8;
  utf8.push_back(program);
  for (const Text1251& a : args) utf8.push_back(tacpush::Console(a));
  std::vector<char*> argv;
  for (std::string& s : utf8) argv.push_back(s.data());
  argv.push_back(nullptr);
  std::fflush(stdout);
  ::execv(program.c_str(), argv.data());
  std::fprintf(stderr, "tacpush: render: cannot start %s: %s\n", program.c_str(),
               std::strerror(errno));
  return 1;
}

CommandRegistrar reg{"render",
                     "render FILE OUT.png [--frame N] [--mode 19|7|1] [--sensor S] [--size WxH]",
                     "draws frame N (from 0) as the push viewer shows it, into a PNG", RunRender};

}  // namespace
