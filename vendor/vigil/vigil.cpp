// The six exported functions over instances kept in a registry: a handle is a number that is
// never handed out twice, so a finished or made-up handle is refused instead of followed.
// Every call of an instance runs under its lock; callbacks run inside the caller's call (the
// default) or on the instance's own thread, which FFinishVigilLib stops and joins before it
// returns.
#include "vendor/vigil/vigil.h"

#include <atomic>
#include <condition_variable>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "vendor/vigil/detector.h"
#include "vendor/vigil/settings.h"

#define VIGIL_EXPORT extern "C" __attribute__((visibility("default")))

namespace vigil {
namespace {

using AnyFunction = void (*)();

struct Delivery {
  VigilValuesCallback values = nullptr;
  VigilTextCallback text = nullptr;
  void* context = nullptr;
  Alert alert;
};

struct Instance {
  explicit Instance(const Settings& s) : settings(s), detector(s.thresholds) {}

  // Lock order: registryLock, then an instance's lock, then its queueLock.
  std::recursive_mutex lock;  // every call of the instance
  void* context = nullptr;
  VigilLogCallback log = nullptr;
  VigilValuesCallback values = nullptr;
  VigilTextCallback text = nullptr;
  Settings settings;
  Detector detector;
  std::FILE* calls = nullptr;
  // Set first thing by FFinishVigilLib; read before every callback, also by the own thread and
  // by a call that a callback finished from inside.
  std::atomic<bool> finished{false};

  std::mutex queueLock;  // the own thread's queue
  std::condition_variable wake;
  std::deque<Delivery> queue;
  bool stopping = false;
  std::thread worker;
};

std::mutex registryLock;
std::map<uintptr_t, std::shared_ptr<Instance>> registry;
uintptr_t lastHandle = 0x5600;

std::shared_ptr<Instance> Find(void* handle) {
  std::lock_guard l(registryLock);
  auto it = registry.find(reinterpret_cast<uintptr_t>(handle));
  return it == registry.end() ? nullptr : it->second;
}

void Log(Instance& in, int level, const char* format, ...) {
  if (!in.log || in.settings.logLevel < level) return;
  char text[600] = "vigil: ";
  va_list args;
  va_start(args, format);
  std::vsnprintf(text + 7, sizeof text - 7, format, args);
  va_end(args);
  in.log(text);
}

void CallLog(Instance& in, const char* format, ...) {
  if (!in.calls) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(in.calls, format, args);
  va_end(args);
  std::fputc('\n', in.calls);
  std::fflush(in.calls);
}

void Call(const Instance& in, const Delivery& d) {
  const std::string text = AlertText(d.alert);
  if (d.values && !in.finished) d.values(d.context, d.alert.map.data());
  if (d.text && !in.finished) d.text(d.context, text.c_str());
}

void Worker(std::shared_ptr<Instance> in) {
  std::unique_lock l(in->queueLock);
  for (;;) {
    in->wake.wait(l, [&] { return in->stopping || !in->queue.empty(); });
    if (in->stopping) return;
    Delivery d = std::move(in->queue.front());
    in->queue.pop_front();
    // Finishing waits for this call to return, so nothing is called back after it.
    l.unlock();
    Call(*in, d);
    l.lock();
  }
}

// Hands an alert to the callbacks (under the instance's lock).
void Deliver(Instance& in, const Alert& a) {
  Log(in, 2, "push %d: %s", a.push, a.sensors.empty() ? "no inclusion" : "inclusion found");
  if (in.calls) {
    std::string names;
    for (int s : a.sensors) names += (names.empty() ? "" : ",") + std::to_string(s + 1);
    CallLog(in, "alert push=%d t=%d sensors=%s", a.push, a.elapsedMs, names.c_str());
  }
  if (!in.values && !in.text) return;
  Delivery d{in.values, in.text, in.context, a};
  if (in.settings.callbackThread) {
    std::lock_guard q(in.queueLock);
    in.queue.push_back(std::move(d));
    in.wake.notify_one();
  } else {
    Call(in, d);
  }
}

}  // namespace
}  // namespace vigil

using namespace vigil;

// The bodies; the exported functions at the end keep exceptions (out of memory, no thread)
// from crossing the C interface.

static void* FInitVigilLibImpl(void* context, const char* dataRoot, const char* databaseRoot,
                               VigilLogCallback log) {
  (void)databaseRoot;  // nothing of the database is read
  // Without a data root the defaults hold and no file is read or written.
  const bool haveRoot = dataRoot && *dataRoot;
  const std::string folder = haveRoot ? HostFolder(dataRoot) : std::string();
  std::vector<std::string> problems;
  bool created = false;
  const Settings settings =
      haveRoot ? ReadSettings(folder + "vigil.txt", &problems, &created) : Settings{};
  auto in = std::make_shared<Instance>(settings);
  in->context = context;
  in->log = log;
  for (const std::string& p : problems) Log(*in, 1, "%s", p.c_str());
  if (created) Log(*in, 2, "thresholds written with their defaults to %svigil.txt", folder.c_str());
  if (settings.callLog) {
    const std::string file = folder + "vigil_calls.log";
    in->calls = std::fopen(file.c_str(), "a");
    if (!in->calls) Log(*in, 1, "cannot open %s", file.c_str());
  }
  if (settings.callbackThread) in->worker = std::thread(Worker, in);
  uintptr_t handle = 0;
  {
    std::lock_guard l(registryLock);
    handle = (lastHandle += 0x10);
    registry[handle] = in;
  }
  CallLog(*in, "init handle=%lx thread=%d", static_cast<unsigned long>(handle),
          settings.callbackThread);
  Log(*in, 2, "ready (callbacks from %s thread)",
      settings.callbackThread ? "its own" : "the caller's");
  return reinterpret_cast<void*>(handle);
}

static int SetVigilLibAddDataImpl(void* handle, int dataId, void* data, int size) {
  std::shared_ptr<Instance> in = Find(handle);
  if (!in) return VIGIL_NO_INSTANCE;
  std::lock_guard l(in->lock);
  if (in->finished) return VIGIL_NO_INSTANCE;
  CallLog(*in, "add-data id=%d size=%d", dataId, size);
  // The data is the callback's address; a size other than a function pointer's would mean
  // the caller passes something else (or a truncated address): refused.
  if (size != static_cast<int>(sizeof(AnyFunction)) || !data ||
      (dataId != VIGIL_ALERT_VALUES && dataId != VIGIL_ALERT_TEXT)) {
    Log(*in, 1, "additional data %d of %d bytes refused (a function address has %d bytes)", dataId,
        size, static_cast<int>(sizeof(AnyFunction)));
    return VIGIL_REFUSED;
  }
  if (dataId == VIGIL_ALERT_VALUES)
    in->values = reinterpret_cast<VigilValuesCallback>(data);
  else
    in->text = reinterpret_cast<VigilTextCallback>(data);
  return 0;
}

static int FVigilLibStartPushImpl(void* handle) {
  std::shared_ptr<Instance> in = Find(handle);
  if (!in) return VIGIL_NO_INSTANCE;
  std::lock_guard l(in->lock);
  if (in->finished) return VIGIL_NO_INSTANCE;
  in->detector.StartPush();
  CallLog(*in, "start-push %d", in->detector.PushNumber());
  Log(*in, 2, "push %d started", in->detector.PushNumber());
  return 0;
}

static int FCallVigilLibImpl(void* handle, int* normalized, int* raw, int labelCount,
                             int packetIndex, int elapsedMs) {
  (void)raw;  // the decision rests on the normalized values, which the passport made comparable
  std::shared_ptr<Instance> in = Find(handle);
  if (!in) return VIGIL_NO_INSTANCE;
  std::lock_guard l(in->lock);
  if (in->finished) return VIGIL_NO_INSTANCE;
  if (!normalized) return VIGIL_REFUSED;
  if (in->calls) {
    std::string values;
    for (int s = 0; s < kSensors; ++s) values += (s ? "," : "") + std::to_string(normalized[s]);
    CallLog(*in, "call push=%d labels=%d index=%d t=%d v=%s",
            in->detector.InPush() ? in->detector.PushNumber() : 0, labelCount, packetIndex,
            elapsedMs, values.c_str());
  }
  if (in->detector.Frame(normalized, packetIndex, elapsedMs)) Deliver(*in, in->detector.Live());
  return 0;
}

static int FVigilLibStopPushImpl(void* handle) {
  std::shared_ptr<Instance> in = Find(handle);
  if (!in) return VIGIL_NO_INSTANCE;
  std::lock_guard l(in->lock);
  if (in->finished) return VIGIL_NO_INSTANCE;
  CallLog(*in, "stop-push");
  if (std::optional<Alert> a = in->detector.StopPush()) Deliver(*in, *a);
  return 0;
}

static void FFinishVigilLibImpl(void* handle) {
  std::shared_ptr<Instance> in;
  {
    std::lock_guard l(registryLock);
    auto it = registry.find(reinterpret_cast<uintptr_t>(handle));
    if (it == registry.end()) return;
    in = it->second;
    registry.erase(it);
  }
  in->finished = true;
  {
    std::lock_guard l(in->lock);  // waits for a call in progress (and its callbacks)
    CallLog(*in, "finish");
    if (in->calls) std::fclose(in->calls);
    in->calls = nullptr;
  }
  {
    std::lock_guard q(in->queueLock);
    in->stopping = true;
    in->queue.clear();
  }
  in->wake.notify_all();
  if (in->worker.joinable()) {
    // Finished from inside one of its own callbacks: the thread ends after that callback.
    if (in->worker.get_id() == std::this_thread::get_id())
      in->worker.detach();
    else
      in->worker.join();
  }
}

// ---- the exported functions ----

VIGIL_EXPORT void* FInitVigilLib(void* context, const char* dataRoot, const char* databaseRoot,
                                 VigilLogCallback log) {
  try {
    return FInitVigilLibImpl(context, dataRoot, databaseRoot, log);
  } catch (...) {
    return nullptr;
  }
}

VIGIL_EXPORT int SetVigilLibAddData(void* handle, int dataId, void* data, int size) {
  try {
    return SetVigilLibAddDataImpl(handle, dataId, data, size);
  } catch (...) {
    return VIGIL_REFUSED;
  }
}

VIGIL_EXPORT int FVigilLibStartPush(void* handle) {
  try {
    return FVigilLibStartPushImpl(handle);
  } catch (...) {
    return VIGIL_REFUSED;
  }
}

VIGIL_EXPORT int FCallVigilLib(void* handle, int* normalized, int* raw, int labelCount,
                               int packetIndex, int elapsedMs) {
  try {
    return FCallVigilLibImpl(handle, normalized, raw, labelCount, packetIndex, elapsedMs);
  } catch (...) {
    return VIGIL_REFUSED;
  }
}

VIGIL_EXPORT int FVigilLibStopPush(void* handle) {
  try {
    return FVigilLibStopPushImpl(handle);
  } catch (...) {
    return VIGIL_REFUSED;
  }
}

VIGIL_EXPORT void FFinishVigilLib(void* handle) {
  try {
    FFinishVigilLibImpl(handle);
  } catch (...) {
  }
}
