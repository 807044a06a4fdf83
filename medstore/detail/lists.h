// The in-memory lists of the five kinds and the id index kept beside each list, so lookups by
// id and the duplicate check of Add do not walk the list. All insertions go to the tail, so the
// index keeps list order for items that share an id or (pushes) an operation.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "medstore/detail/records.h"
#include "medstore/medstore.h"

struct medstore_index {
  struct Slot {
    void* first = nullptr;  // first item of the list with this id
    uint32_t count = 0;     // items with this id
  };
  std::unordered_map<int32_t, Slot> byId;
  std::unordered_map<int32_t, std::vector<void*>> byOperation;  // pushes only
  std::string hostRoot;  // host folder of the database; empty for lists without a path
  // The id mark file: its value as last read or written, -1 when it must be rewritten.
  int32_t markOnDisk = 0;
  // Highest id the mark has to keep from coming back: every id handed out automatically and
  // every id up to the id limit read or used. Ids beyond the limit are never handed out
  // automatically, so they do not count.
  int32_t covered = 0;
};

namespace medstore::detail {

template <class Item>
struct Kind;

template <>
struct Kind<user_item> {
  using List = user_list;
  static constexpr const char* kFile = "UserData";
  static constexpr const char* kOpenDir = "Warning: problem with opening user database dir\n";
  static constexpr const char* kOpenDirMemory =
      "Error opening user database dir (failed to allocate memory)\n";
  static constexpr const char* kListMemory = "Failed to allocate memory for user list\n";
  static constexpr const char* kOpenFile = "Warning: failed to open user file\n";
  static constexpr const char* kItemMemory = "Warning: memory allocation failed\n";
  static constexpr const char* kExists = "User already exists\n";
  static constexpr const char* kTemporary = "Warning: The patient was added temporarily only\n";
  static constexpr const char* kNotFound = "Warning: patient not found\n";
  static constexpr const char* kDeleteFailed = "Warning: failed to delete user file\n";
  static constexpr bool kByOperation = false;
  static int32_t& Id(user_item& i) { return i.idFIO; }
};

template <>
struct Kind<doctor_item> {
  using List = doctor_list;
  static constexpr const char* kFile = "DoctorData";
  static constexpr const char* kOpenDir = "Warning: problem with opening doctor database dir\n";
  static constexpr const char* kOpenDirMemory =
      "Error opening doctor database dir (failed to allocate memory)\n";
  static constexpr const char* kListMemory = "Failed to allocate memory for doctor list\n";
  static constexpr const char* kOpenFile = "Warning: failed to open doctor file\n";
  static constexpr const char* kItemMemory = "Warning: error allocating memory for doctor item\n";
  static constexpr const char* kExists = "Doctor already exists\n";
  static constexpr const char* kTemporary = "Warning: The doctor was added temporarily only\n";
  static constexpr const char* kNotFound = "Warning: doctor not found\n";
  static constexpr const char* kDeleteFailed = "Warning: failed to delete doctor file\n";
  static constexpr bool kByOperation = false;
  static int32_t& Id(doctor_item& i) { return i.idFIO; }
};

template <>
struct Kind<operation_item> {
  using List = operation_list;
  static constexpr const char* kFile = "OperationData";
  static constexpr const char* kOpenDir = "Warning: problem with opening operation database dir\n";
  static constexpr const char* kOpenDirMemory =
      "Error opening operation database dir (failed to allocate memory)\n";
  static constexpr const char* kListMemory = "Failed to allocate memory for operation list\n";
  static constexpr const char* kOpenFile = "Warning: failed to open operation file\n";
  static constexpr const char* kItemMemory =
      "Warning: error allocating memory for operation item\n";
  static constexpr const char* kExists = "Operation already exists\n";
  static constexpr const char* kTemporary = "Warning: The operation was added temporarily only\n";
  static constexpr const char* kNotFound = "Warning: operation not found\n";
  static constexpr const char* kDeleteFailed = "Warning: failed to delete operation file\n";
  static constexpr bool kByOperation = false;
  static int32_t& Id(operation_item& i) { return i.ID; }
};

template <>
struct Kind<push_item> {
  using List = push_list;
  static constexpr const char* kFile = "PushData";
  static constexpr const char* kOpenDir = "Warning: problem with opening push database dir\n";
  static constexpr const char* kOpenDirMemory =
      "Error opening push database dir (failed to allocate memory)\n";
  static constexpr const char* kListMemory = "Failed to allocate memory for push list\n";
  static constexpr const char* kOpenFile = "Warning: failed to open push file\n";
  static constexpr const char* kItemMemory = "Warning: error allocating memory for push item\n";
  static constexpr const char* kExists = "Push already exists\n";
  static constexpr const char* kTemporary = "Warning: The push was added temporarily only\n";
  static constexpr const char* kNotFound = "Warning: push not found\n";
  static constexpr const char* kDeleteFailed = "Warning: failed to delete push file\n";
  static constexpr bool kByOperation = true;
  static int32_t& Id(push_item& i) { return i.ID; }
};

template <>
struct Kind<device_item> {
  using List = device_list;
  static constexpr const char* kFile = "DeviceData";
  static constexpr const char* kOpenDir = "Warning: problem with opening device database dir\n";
  static constexpr const char* kOpenDirMemory =
      "Error opening device database dir (failed to allocate memory)\n";
  static constexpr const char* kListMemory = "Failed to allocate memory for device list\n";
  static constexpr const char* kOpenFile = "Warning: failed to open device file\n";
  static constexpr const char* kItemMemory = "Warning: error allocating memory for device item\n";
  static constexpr const char* kExists = "Device already exists\n";
  static constexpr const char* kTemporary = "Warning: The device was added temporarily only\n";
  static constexpr const char* kNotFound = "Warning: device not found\n";
  static constexpr const char* kDeleteFailed = "Warning: failed to delete device file\n";
  static constexpr bool kByOperation = false;
  static int32_t& Id(device_item& i) { return i.ID; }
};

template <class Item>
using ListOf = typename Kind<Item>::List;

template <class Item>
int32_t IdOf(const Item* item) {
  return Kind<Item>::Id(*const_cast<Item*>(item));
}

inline int32_t OperationOf(const void* item) {
  return static_cast<const push_item*>(item)->OperationID;
}

template <class Item>
void IndexAdd(medstore_index& ix, Item* item) {
  auto& slot = ix.byId[IdOf(item)];
  if (slot.count++ == 0) slot.first = item;
  if constexpr (Kind<Item>::kByOperation) ix.byOperation[item->OperationID].push_back(item);
}

template <class Item>
void RebuildIndex(ListOf<Item>* list) {
  medstore_index& ix = *list->index;
  ix.byId.clear();
  ix.byOperation.clear();
  for (Item* i = list->head; i; i = i->next) IndexAdd(ix, i);
}

// The list's index, built on first use (lists filled by add_item_to_*_list have none yet).
template <class Item>
medstore_index& IndexOf(ListOf<Item>* list) {
  if (!list->index) {
    list->index = new medstore_index;
    RebuildIndex<Item>(list);
  }
  return *list->index;
}

// Index bookkeeping before item leaves the list; false when the index was out of step.
template <class Item>
bool IndexRemove(medstore_index& ix, Item* item) {
  auto it = ix.byId.find(IdOf(item));
  if (it == ix.byId.end() || it->second.count == 0) return false;
  auto& slot = it->second;
  if (slot.first == item) {
    if (slot.count == 1) {
      ix.byId.erase(it);
    } else {
      Item* next = item->next;
      while (next && IdOf(next) != IdOf(item)) next = next->next;
      if (!next) return false;
      slot.first = next;
      --slot.count;
    }
  } else {
    --slot.count;
  }
  if constexpr (Kind<Item>::kByOperation) {
    auto op = ix.byOperation.find(item->OperationID);
    if (op == ix.byOperation.end()) return false;
    auto& v = op->second;
    bool found = false;
    for (size_t i = 0; i < v.size(); ++i)
      if (v[i] == item) {
        v.erase(v.begin() + static_cast<std::ptrdiff_t>(i));
        found = true;
        break;
      }
    if (v.empty()) ix.byOperation.erase(op);
    if (!found) return false;
  }
  return true;
}

template <class Item>
void Append(ListOf<Item>* list, Item* item) {
  item->next = nullptr;
  item->prev = list->tail;
  if (list->tail)
    list->tail->next = item;
  else
    list->head = item;
  list->tail = item;
  if (list->index) IndexAdd(*list->index, item);
}

template <class Item>
bool InList(ListOf<Item>* list, Item* item) {
  return item->prev ? item->prev->next == item : list->head == item;
}

template <class Item>
void Unlink(ListOf<Item>* list, Item* item) {
  if (!InList<Item>(list, item)) return;
  bool indexed = !list->index || IndexRemove(*list->index, item);
  if (item->prev)
    item->prev->next = item->next;
  else
    list->head = item->next;
  if (item->next)
    item->next->prev = item->prev;
  else
    list->tail = item->prev;
  item->prev = item->next = nullptr;
  if (!indexed) RebuildIndex<Item>(list);
}

template <class Item>
void FreeItem(Item* item) {
  if (!item) return;
  FreeContents(*item);
  std::free(item);
}

// First item with that id.
template <class Item>
Item* FindById(ListOf<Item>* list, int32_t id) {
  medstore_index& ix = IndexOf<Item>(list);
  for (int attempt = 0; attempt < 2; ++attempt) {
    auto it = ix.byId.find(id);
    if (it == ix.byId.end()) return nullptr;
    auto* item = static_cast<Item*>(it->second.first);
    if (item && IdOf(item) == id && InList<Item>(list, item)) return item;
    RebuildIndex<Item>(list);  // an id was changed behind the library's back
  }
  return nullptr;
}

template <class Item>
ListOf<Item>* NewList() {
  return static_cast<ListOf<Item>*>(std::calloc(1, sizeof(ListOf<Item>)));
}

template <class Item>
void DestroyList(ListOf<Item>* list) {
  if (!list) return;
  Item* i = list->head;
  while (i) {
    Item* next = i->next;
    FreeItem(i);
    i = next;
  }
  std::free(list->path);
  delete list->index;
  std::free(list);
}

}  // namespace medstore::detail
