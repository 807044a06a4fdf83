// Opening, closing, ids, Add/Edit/Del and the list helpers of the five kinds.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "medstore/detail/host_fs.h"
#include "medstore/detail/lists.h"
#include "medstore/detail/records.h"
#include "medstore/detail/text.h"
#include "medstore/medstore.h"

namespace medstore::detail {
namespace {

// Highest id ever handed out, kept beside the records: its name is no number, so readers of
// the record format skip it. Ids of deleted records are therefore not reused after a reopen.
constexpr const char* kMarkFile = "medstore_last_id";
constexpr const char* kMarkLockFile = ".medstore_last_id.lock";
constexpr int32_t kMaxAutoId = 1000000;

bool IsDecimal(const std::string& name) {
  if (name.empty()) return false;
  for (char c : name)
    if (!IsDigit(c)) return false;
  return true;
}

int32_t DecimalValue(const std::string& name) {
  int64_t v = 0;
  for (char c : name) {
    v = v * 10 + (c - '0');
    if (v > INT32_MAX) return INT32_MAX;
  }
  return static_cast<int32_t>(v);
}

bool IsAsciiAlnum(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// Record files are read whole; a push record of about 700,000 frames still fits.
constexpr size_t kMaxRecordFile = size_t(256) << 20;
constexpr size_t kMaxMarkFile = 64;

enum class MarkState { kMissing, kValue, kBeyondLimit, kBad, kUnreadable };
struct Mark {
  MarkState state = MarkState::kMissing;
  int32_t value = 0;
};

// kBad: there is a mark, but it is empty, no number, no regular file or too large; it is
// replaced on the next change. kUnreadable: it could not be read and is never overwritten.
Mark ReadMark(const std::string& hostRoot) {
  std::string text;
  switch (ReadWhole(hostRoot + "/" + kMarkFile, text, kMaxMarkFile)) {
    case ReadResult::kMissing:
      return {MarkState::kMissing};
    case ReadResult::kFailed:
      return {MarkState::kUnreadable};
    case ReadResult::kNotRegular:
    case ReadResult::kTooLarge:
      return {MarkState::kBad};
    case ReadResult::kDone:
      break;
  }
  int32_t v = 0;
  bool digits = false;
  ScanInt(text.data(), text.data() + text.size(), &v, &digits);
  if (!digits || v < 0) return {MarkState::kBad};
  // No automatic id goes beyond kMaxAutoId + 1: a larger mark came from an explicit id (as
  // an earlier version wrote it) and would refuse every new record for good.
  if (v > kMaxAutoId + 1) return {MarkState::kBeyondLimit, v};
  return {MarkState::kValue, v};
}

void RaiseCovered(medstore_index& ix, int32_t id) {
  if (id <= kMaxAutoId && id > ix.covered) ix.covered = id;
}

// Takes a mark read from disk into last_id; problems are reported (once until the file is
// rewritten with the next change).
template <class Item>
void TakeMark(ListOf<Item>* list, const Mark& m) {
  medstore_index& ix = IndexOf<Item>(list);
  Reporter report{ix.markOnDisk < 0 ? nullptr : list->report};
  switch (m.state) {
    case MarkState::kMissing:
      ix.markOnDisk = 0;
      return;
    case MarkState::kValue:
      ix.markOnDisk = m.value;
      if (m.value > list->last_id) list->last_id = m.value;
      if (m.value > ix.covered) ix.covered = m.value;
      return;
    case MarkState::kBeyondLimit: {
      char text[128];
      std::snprintf(text, sizeof text, "Warning: last id %d is beyond the id limit, ignored\n",
                    m.value);
      report(text);
      ix.markOnDisk = -1;
      return;
    }
    case MarkState::kBad:
    case MarkState::kUnreadable:
      report("Warning: failed to read the last id file\n");
      ix.markOnDisk = -1;
      return;
  }
}

// An advisory lock on a file beside the mark. A lock that cannot be had within about two
// seconds (a stale lock on a network share) is given up: the mark is then written unlocked.
class MarkLock {
 public:
  explicit MarkLock(const std::string& hostRoot) {
    fd_ = ::open((hostRoot + "/" + kMarkLockFile).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    for (int i = 0; fd_ >= 0 && i < 200; ++i) {
      if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
        locked_ = true;
        break;
      }
      if (errno != EWOULDBLOCK && errno != EINTR) break;
      ::usleep(10000);
    }
  }
  ~MarkLock() {
    if (locked_) ::flock(fd_, LOCK_UN);
    if (fd_ >= 0) ::close(fd_);
  }
  MarkLock(const MarkLock&) = delete;
  MarkLock& operator=(const MarkLock&) = delete;

 private:
  int fd_ = -1;
  bool locked_ = false;
};

// Writes the mark when the covered ids went beyond it; another workstation's larger mark is
// kept, and a mark that cannot be read is left alone. True when the mark was written, which
// also synced the database folder.
template <class Item>
bool UpdateMark(ListOf<Item>* list) {
  medstore_index& ix = IndexOf<Item>(list);
  if (ix.hostRoot.empty() || ix.covered <= ix.markOnDisk) return false;
  // Read and replace under a lock, so two workstations cannot lower each other's mark.
  MarkLock lock(ix.hostRoot);
  Mark disk = ReadMark(ix.hostRoot);
  if (disk.state == MarkState::kUnreadable) {
    Reporter{list->report}("Warning: failed to update the last id file\n");
    return false;
  }
  int32_t mark = std::max(ix.covered, disk.state == MarkState::kValue ? disk.value : 0);
  std::string text = std::to_string(mark) + "\r\n";
  if (!WriteReplacing(ix.hostRoot, kMarkFile, text)) {
    Reporter{list->report}("Warning: failed to update the last id file\n");
    return false;
  }
  ix.markOnDisk = mark;
  return true;
}

std::string RecordDir(const medstore_index& ix, int32_t id) {
  return ix.hostRoot + "/" + std::to_string(id);
}

// Name of the record file in its folder: an existing one in another letter case is reused.
template <class Item>
std::string RecordFileName(const std::string& dir) {
  std::string found = FindNoCase(dir, Kind<Item>::kFile);
  return found.empty() ? std::string(Kind<Item>::kFile) : found;
}

template <class Item>
std::string RecordText(const Item& item) {
  std::string text;
  WriteRecord(text, item);
  return text;
}

template <class Item>
ListOf<Item>* Open(const char* path, medstore_report_fn fn) {
  using K = Kind<Item>;
  Reporter report{fn};
  if (!path) {
    report(K::kOpenDir);
    return nullptr;
  }
  ListOf<Item>* list = nullptr;
  int dirFd = -1;
  try {
    std::string host = ResolvePath(path);
    dirFd = ::open(host.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::vector<Entry> entries;
    if (dirFd < 0 || !ListFolderAt(dirFd, entries)) {
      if (dirFd >= 0) ::close(dirFd);
      report(K::kOpenDir);
      return nullptr;
    }
    list = NewList<Item>();
    if (!list) {
      ::close(dirFd);
      report(K::kListMemory);
      return nullptr;
    }
    list->report = fn;
    list->path = strdup(path);
    if (!list->path) {
      ::close(dirFd);
      report("Warning: memory allocation failed\n");
      return list;
    }
    list->index = new medstore_index;
    list->index->hostRoot = host;

    struct Record {
      int32_t id;
      std::string name;
    };
    std::vector<Record> records;
    for (auto& e : entries)
      if (IsDecimal(e.name)) records.push_back({DecimalValue(e.name), std::move(e.name)});
    std::sort(records.begin(), records.end(), [](const Record& a, const Record& b) {
      return a.id != b.id ? a.id < b.id : a.name < b.name;
    });

    std::string text;
    std::vector<Entry> files;
    for (const Record& r : records) {
      int recFd = ::openat(dirFd, r.name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      files.clear();
      if (recFd < 0 || !ListFolderAt(recFd, files)) {
        if (recFd >= 0) ::close(recFd);
        report(K::kOpenFile);
        continue;
      }
      std::sort(files.begin(), files.end(),
                [](const Entry& a, const Entry& b) { return a.name < b.name; });
      std::string fileName;
      for (const auto& f : files)
        if (f.name == K::kFile) fileName = f.name;
      if (fileName.empty())
        for (const auto& f : files)
          if (!f.isDirectory && EqualNoCase(f.name, K::kFile)) fileName = f.name;
      bool read = !fileName.empty() &&
                  ReadWholeAt(recFd, fileName.c_str(), text, kMaxRecordFile) == ReadResult::kDone;
      ::close(recFd);
      if (!read) {
        report(K::kOpenFile);
        continue;
      }
      auto* item = static_cast<Item*>(std::malloc(sizeof(Item)));
      if (!item) {
        report(K::kItemMemory);
        continue;
      }
      InitItem(*item);
      int32_t recordId = 0;  // the highest id key of the record
      bool parsed = true;
      try {
        ParseContext ctx(report, &recordId);
        ParseRecordText(ctx, text,
                        [&](const char* b, const char* e) { return ParseLine(ctx, *item, b, e); });
      } catch (const std::bad_alloc&) {
        report("Warning: failed to process database item, out of memory\n");
        parsed = false;
      }
      if (recordId > list->last_id) list->last_id = recordId;
      RaiseCovered(*list->index, recordId);
      if (!parsed) {
        FreeItem(item);
        continue;
      }
      FinishRecord(*item);
      if (IdOf(item) != r.id) {
        report("Warning: ID mismatch\n");
        FreeItem(item);
        continue;
      }
      item->files = static_cast<file_list*>(std::calloc(1, sizeof(file_list)));
      if (!item->files) {
        report("Warning: failed to process database item, out of memory\n");
        FreeItem(item);
        continue;
      }
      bool filesOk = true;
      for (const auto& f : files) {
        if (f.name == fileName || !IsAsciiAlnum(f.name[0])) continue;
        std::string entry = r.name + "/" + Utf8ToCp1251(f.name);
        auto* fi = static_cast<file_item*>(std::calloc(1, sizeof(file_item)));
        char* name = fi ? strdup(entry.c_str()) : nullptr;
        if (!name) {
          std::free(fi);
          filesOk = false;
          break;
        }
        fi->name = name;
        fi->next = item->files->head;
        item->files->head = fi;
      }
      if (!filesOk) {
        report("Warning: failed to process database item, out of memory\n");
        FreeItem(item);
        continue;
      }
      Append(list, item);
    }
    ::close(dirFd);
    dirFd = -1;
    TakeMark<Item>(list, ReadMark(host));
    return list;
  } catch (const std::bad_alloc&) {
    if (dirFd >= 0) ::close(dirFd);
    report(list ? "Warning: failed to process database item, out of memory\n" : K::kOpenDirMemory);
    return list;
  }
}

enum class WriteResult { kDone, kNoDirectory, kNoFile };

// Writes the record through a temp file renamed over the old one. dirCreated: the record
// folder was made by this add; dirSynced: the database folder was synced since.
template <class Item>
WriteResult WriteRecordFile(const medstore_index& ix, const Item& item, bool dirCreated,
                            bool dirSynced) {
  std::string dir = RecordDir(ix, IdOf(&item));
  if (!dirCreated) {
    MakeDirResult made = MakeDir(dir);
    if (made == MakeDirResult::kFailed) return WriteResult::kNoDirectory;
    dirCreated = made == MakeDirResult::kCreated;
    dirSynced = false;
  }
  std::string text = RecordText(item);
  if (!WriteReplacing(dir, RecordFileName<Item>(dir), text)) return WriteResult::kNoFile;
  // A new record folder is durable once the database folder is synced.
  if (dirCreated && !dirSynced && !SyncFolder(ix.hostRoot)) return WriteResult::kNoFile;
  return WriteResult::kDone;
}

template <class Item>
int Add(Item* item, ListOf<Item>* list) {
  using K = Kind<Item>;
  if (!list || !item) return 1;
  Reporter report{list->report};
  try {
    medstore_index& ix = IndexOf<Item>(list);
    bool hasPath = list->path && !ix.hostRoot.empty();
    int32_t& id = K::Id(*item);
    bool claimed = false;
    if (id == 0) {
      if (hasPath) TakeMark<Item>(list, ReadMark(ix.hostRoot));
      for (;;) {
        if (list->last_id > kMaxAutoId) {
          report("Database is too large\n");
          return 1;
        }
        int32_t candidate = list->last_id + 1;
        list->last_id = candidate;
        if (FindById<Item>(list, candidate)) continue;
        // A shared folder: another workstation may have taken this id first.
        if (hasPath) {
          MakeDirResult r = MakeDir(RecordDir(ix, candidate));
          if (r == MakeDirResult::kExists) continue;
          claimed = r == MakeDirResult::kCreated;
        }
        id = candidate;
        if (candidate > ix.covered) ix.covered = candidate;
        break;
      }
    } else {
      if (id > list->last_id) list->last_id = id;
      RaiseCovered(ix, id);
    }
    if (FindById<Item>(list, id)) {
      report(K::kExists);
      return 1;
    }
    Item* copy = nullptr;
    int rc = CopyItem(*item, &copy, report);
    if (rc != 0) {
      if (claimed) RemoveDir(RecordDir(ix, id));
      return rc;
    }
    Append(list, copy);
    if (!hasPath) {
      report("Warning: database path is not initialized properly\n");
      report(K::kTemporary);
      return 1;
    }
    bool markWritten = UpdateMark<Item>(list);
    switch (WriteRecordFile(ix, *copy, claimed, claimed && markWritten)) {
      case WriteResult::kNoDirectory:
        report("Warning: failed to create database subdirectory\n");
        return 1;
      case WriteResult::kNoFile:
        report("Warning: failed to create database file\n");
        return 1;
      case WriteResult::kDone:
        return 0;
    }
    return 0;
  } catch (const std::bad_alloc&) {
    report("Warning: memory allocation problem\n");
    return -1;
  }
}

template <class Item>
int Edit(int id, Item* item, ListOf<Item>* list) {
  using K = Kind<Item>;
  if (!list || !item) return 1;
  Reporter report{list->report};
  if (id != IdOf(item)) {
    report("Warning: ID mismatch\n");
    return 1;
  }
  try {
    medstore_index& ix = IndexOf<Item>(list);
    Item* old = FindById<Item>(list, id);
    if (!old) report(K::kNotFound);
    if (id == 0) return 1;  // no record has id 0 to replace
    // Copy first: the caller's item may be the list's own one.
    Item* copy = nullptr;
    int rc = CopyItem(*item, &copy, report);
    if (rc != 0) return rc;
    bool hasPath = list->path && !ix.hostRoot.empty();
    if (hasPath) {
      WriteResult w = WriteRecordFile(ix, *copy, false, false);
      if (w != WriteResult::kDone) {
        // The old record stays, in memory and on disk.
        report(w == WriteResult::kNoDirectory ? "Warning: failed to create database subdirectory\n"
                                              : "Warning: failed to create database file\n");
        FreeItem(copy);
        return 1;
      }
    }
    if (old) {
      Unlink(list, old);
      FreeItem(old);
    }
    Append(list, copy);
    if (id > list->last_id) list->last_id = id;
    RaiseCovered(ix, id);
    if (!hasPath) {
      report("Warning: database path is not initialized properly\n");
      report(K::kTemporary);
      return 1;
    }
    UpdateMark<Item>(list);
    return 0;
  } catch (const std::bad_alloc&) {
    report("Warning: memory allocation problem\n");
    return -1;
  }
}

template <class Item>
int Del(int id, ListOf<Item>* list) {
  using K = Kind<Item>;
  if (!list) return 1;
  Reporter report{list->report};
  try {
    medstore_index& ix = IndexOf<Item>(list);
    Item* old = FindById<Item>(list, id);
    if (!old) {
      report(K::kNotFound);
      return 0;
    }
    std::string recordDir = ix.hostRoot.empty() ? std::string() : RecordDir(ix, id);
    std::string fileName = recordDir.empty() ? std::string() : RecordFileName<Item>(recordDir);
    Unlink(list, old);
    FreeItem(old);
    if (!list->path || ix.hostRoot.empty()) return 0;
    UpdateMark<Item>(list);
    int rc;
    if (list->remove_tree) {
      std::string winPath = std::string(list->path) + "/" + std::to_string(id);
      rc = list->remove_tree(winPath.c_str());
    } else {
      rc = RemoveFileIfPresent(recordDir + "/" + fileName);
      // A folder left empty would only be reported as unreadable on the next opening.
      if (rc == 0) RemoveDir(recordDir);
    }
    if (rc != 0) {
      report(K::kDeleteFailed);
      return 1;
    }
    return 0;
  } catch (const std::bad_alloc&) {
    report("Warning: memory allocation problem\n");
    return -1;
  }
}

template <class Item>
int Create(ListOf<Item>** out) {
  if (!out) return -1;
  *out = NewList<Item>();
  return *out ? 0 : -1;
}

template <class Item>
int AddToList(ListOf<Item>* list, Item* item) {
  if (!list || !item) return 0;
  try {
    Append(list, item);
  } catch (const std::bad_alloc&) {
    delete list->index;  // rebuilt on next use
    list->index = nullptr;
  }
  return 0;
}

template <class Item>
void RemoveFromList(ListOf<Item>* list, Item* item) {
  if (!item) return;
  try {
    if (list) Unlink(list, item);
  } catch (const std::bad_alloc&) {
    delete list->index;
    list->index = nullptr;
  }
  FreeItem(item);
}

template <class Item>
Item* GetById(int id, ListOf<Item>* list) {
  if (!list) return nullptr;
  try {
    return FindById<Item>(list, id);
  } catch (const std::bad_alloc&) {
    for (Item* i = list->head; i; i = i->next)
      if (IdOf(i) == id) return i;
    return nullptr;
  }
}

template <class Item>
int SetData(int type, void* data, ListOf<Item>* list) {
  if (!list) return 1;
  if (type == 1) {
    if constexpr (std::is_same_v<Item, device_item>) {
      return 1;  // devices have no name compare
    } else {
      list->compare = reinterpret_cast<medstore_compare_fn>(data);
      return 0;
    }
  }
  if (type == 2) {
    list->remove_tree = reinterpret_cast<medstore_remove_tree_fn>(data);
    return 0;
  }
  return 1;
}

template <class Item>
int Duplicate(Item* item, Item** copy, ListOf<Item>* list) {
  if (!copy) return -1;
  *copy = nullptr;
  if (!item) return -1;
  return CopyItem(*item, copy, Reporter{list ? list->report : nullptr});
}

}  // namespace
}  // namespace medstore::detail

using namespace medstore::detail;

extern "C" {

user_list* InitUserDB(char* path, medstore_report_fn report) {
  return Open<user_item>(path, report);
}
doctor_list* InitDoctorDB(char* path, medstore_report_fn report) {
  return Open<doctor_item>(path, report);
}
operation_list* InitOperationDB(char* path, medstore_report_fn report) {
  return Open<operation_item>(path, report);
}
push_list* InitPushDB(char* path, medstore_report_fn report) {
  return Open<push_item>(path, report);
}
device_list* InitDeviceDB(char* path, medstore_report_fn report) {
  return Open<device_item>(path, report);
}

void CloseUserDB(user_list* list) { DestroyList<user_item>(list); }
void CloseDoctorDB(doctor_list* list) { DestroyList<doctor_item>(list); }
void CloseOperationDB(operation_list* list) { DestroyList<operation_item>(list); }
void ClosePushDB(push_list* list) { DestroyList<push_item>(list); }
void CloseDeviceDB(device_list* list) { DestroyList<device_item>(list); }

user_item* GetPatientByID(int id, user_list* list) { return GetById<user_item>(id, list); }
doctor_item* GetDoctorByID(int id, doctor_list* list) { return GetById<doctor_item>(id, list); }
operation_item* GetOperationByID(int id, operation_list* list) {
  return GetById<operation_item>(id, list);
}
device_item* GetDeviceByID(int id, device_list* list) { return GetById<device_item>(id, list); }

push_item* GetPushByID(int operationId, int pushId, push_list* list) {
  push_item* first = GetById<push_item>(pushId, list);
  if (!first || operationId == 0 || first->OperationID == operationId) return first;
  for (push_item* p = first->next; p; p = p->next)
    if (p->ID == pushId && p->OperationID == operationId) return p;
  return nullptr;
}

int AddPatient(user_item* item, user_list* list) { return Add(item, list); }
int AddDoctor(doctor_item* item, doctor_list* list) { return Add(item, list); }
int AddOperation(operation_item* item, operation_list* list) { return Add(item, list); }
int AddPush(push_item* item, push_list* list) { return Add(item, list); }
int AddDevice(device_item* item, device_list* list) { return Add(item, list); }

int EditPatient(int id, user_item* item, user_list* list) { return Edit(id, item, list); }
int EditDoctor(int id, doctor_item* item, doctor_list* list) { return Edit(id, item, list); }
int EditOperation(int id, operation_item* item, operation_list* list) {
  return Edit(id, item, list);
}
int EditPush(int id, push_item* item, push_list* list) { return Edit(id, item, list); }
int EditDevice(int id, device_item* item, device_list* list) { return Edit(id, item, list); }

int DelPatient(int id, user_list* list) { return Del<user_item>(id, list); }
int DelDoctor(int id, doctor_list* list) { return Del<doctor_item>(id, list); }
int DelOperation(int id, operation_list* list) { return Del<operation_item>(id, list); }
int DelPush(int id, push_list* list) { return Del<push_item>(id, list); }
int DelDevice(int id, device_list* list) { return Del<device_item>(id, list); }

int SetAddUserData(int type, void* data, int, user_list* list) {
  return SetData<user_item>(type, data, list);
}
int SetAddDoctorData(int type, void* data, int, doctor_list* list) {
  return SetData<doctor_item>(type, data, list);
}
int SetAddOperationData(int type, void* data, int, operation_list* list) {
  return SetData<operation_item>(type, data, list);
}
int SetAddPushData(int type, void* data, int, push_list* list) {
  return SetData<push_item>(type, data, list);
}
int SetAddDeviceData(int type, void* data, int, device_list* list) {
  return SetData<device_item>(type, data, list);
}

int create_user_list(user_list** list) { return Create<user_item>(list); }
int create_doctor_list(doctor_list** list) { return Create<doctor_item>(list); }
int create_operation_list(operation_list** list) { return Create<operation_item>(list); }
int create_push_list(push_list** list) { return Create<push_item>(list); }
int create_device_list(device_list** list) { return Create<device_item>(list); }
int create_file_list(file_list** list) {
  if (!list) return -1;
  *list = static_cast<file_list*>(std::calloc(1, sizeof(file_list)));
  return *list ? 0 : -1;
}

int add_item_to_user_list(user_list* list, user_item* item) { return AddToList(list, item); }
int add_item_to_doctor_list(doctor_list* list, doctor_item* item) { return AddToList(list, item); }
int add_item_to_operation_list(operation_list* list, operation_item* item) {
  return AddToList(list, item);
}
int add_item_to_push_list(push_list* list, push_item* item) { return AddToList(list, item); }
int add_item_to_device_list(device_list* list, device_item* item) { return AddToList(list, item); }
int add_item_to_file_list(file_list* list, file_item* item) {
  if (!list || !item) return 0;
  item->next = list->head;
  list->head = item;
  return 0;
}

void remove_item_from_user_list(user_list* list, user_item* item) { RemoveFromList(list, item); }
void remove_item_from_doctor_list(doctor_list* list, doctor_item* item) {
  RemoveFromList(list, item);
}
void remove_item_from_operation_list(operation_list* list, operation_item* item) {
  RemoveFromList(list, item);
}
void remove_item_from_push_list(push_list* list, push_item* item) { RemoveFromList(list, item); }
void remove_item_from_device_list(device_list* list, device_item* item) {
  RemoveFromList(list, item);
}

void destroy_user_list(user_list* list) { DestroyList<user_item>(list); }
void destroy_doctor_list(doctor_list* list) { DestroyList<doctor_item>(list); }
void destroy_operation_list(operation_list* list) { DestroyList<operation_item>(list); }
void destroy_push_list(push_list* list) { DestroyList<push_item>(list); }
void destroy_device_list(device_list* list) { DestroyList<device_item>(list); }
void destroy_file_list(file_list* list) { FreeFileList(list); }
int clone_file_list(file_list* from, file_list** to) {
  if (!to) return -1;
  return CloneFileList(from, to);
}

int duplicate_device_item(device_item* item, device_item** copy, device_list* list) {
  return Duplicate(item, copy, list);
}
int duplicate_user_item(user_item* item, user_item** copy, user_list* list) {
  return Duplicate(item, copy, list);
}
int duplicate_doctor_item(doctor_item* item, doctor_item** copy, doctor_list* list) {
  return Duplicate(item, copy, list);
}
int duplicate_operation_item(operation_item* item, operation_item** copy, operation_list* list) {
  return Duplicate(item, copy, list);
}
int duplicate_push_item(push_item* item, push_item** copy, push_list* list) {
  return Duplicate(item, copy, list);
}

void clean_device_item(device_item* item) { FreeItem(item); }
void clean_user_item(user_item* item) { FreeItem(item); }
void clean_doctor_item(doctor_item* item) { FreeItem(item); }
void clean_operation_item(operation_item* item) { FreeItem(item); }
void clean_push_item(push_item* item) { FreeItem(item); }
void free_push_item_data(push_item* item) {
  if (item) FreeContents(*item);
}

}  // extern "C"
