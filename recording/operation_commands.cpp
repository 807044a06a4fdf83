#include "recording/operation_commands.h"

#include <map>

namespace recording {

namespace {
// Filled at start and in tests, read on the UI thread only.
std::map<int, OperationCommand>& Commands() {
  static std::map<int, OperationCommand> commands;
  return commands;
}
}  // namespace

void SetOperationCommand(int id, OperationCommand command) {
  if (command)
    Commands()[id] = std::move(command);
  else
    Commands().erase(id);
}

const OperationCommand* FindOperationCommand(int id) {
  const auto it = Commands().find(id);
  return it == Commands().end() ? nullptr : &it->second;
}

namespace {
TesterLinkHook& TesterHook() {
  static TesterLinkHook hook;
  return hook;
}
}  // namespace

void SetTesterLinkHook(TesterLinkHook hook) { TesterHook() = std::move(hook); }

void NotifyTesterLink(TesterLinkEvent event) {
  if (TesterHook()) TesterHook()(event);
}

namespace {
std::function<int()>& TesterValueSource() {
  static std::function<int()> source;
  return source;
}
}  // namespace

void SetTesterValueSource(std::function<int()> source) { TesterValueSource() = std::move(source); }

int CurrentTesterValueForDump() { return TesterValueSource() ? TesterValueSource()() : -1; }

}  // namespace recording
