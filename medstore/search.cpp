// Searches: a new list of deep copies, the ids of those copies and their number; released by
// the same call with a null first argument.
#include <cstdlib>
#include <cstring>
#include <new>

#include "medstore/detail/lists.h"
#include "medstore/medstore.h"

namespace medstore::detail {
namespace {

// A text[n] field as a terminated text, for callbacks and compares.
struct FieldText {
  char text[129];
  FieldText(const char* field, size_t cap) {
    size_t n = strnlen(field, cap < sizeof text ? cap : sizeof text - 1);
    std::memcpy(text, field, n);
    text[n] = 0;
  }
};

template <class List>
bool NamesMatch(const List* db, const char (*mask)[64], const char (*names)[64]) {
  for (int i = 0; i < 3; ++i) {
    if (db->compare) {
      FieldText m(mask[i], 64), n(names[i], 64);
      if (db->compare(m.text, n.text) != 1) return false;
    } else if (std::strncmp(mask[i], names[i], 64) != 0) {
      return false;
    }
  }
  return true;
}

// Card numbers: the compare callback decides on the whole texts; without it they are equal in
// their first 64 characters, as names are compared.
bool CardMatches(const user_list* db, const char* mask, const char* card) {
  FieldText m(mask, 128), c(card, 128);
  if (db->compare) return db->compare(m.text, c.text) == 1;
  return std::strncmp(m.text, c.text, 64) == 0;
}

template <class Item>
bool FamilyMatches(const ListOf<Item>* db, const char* text, const Item* item) {
  FieldText family(item->FIO[0], 64);
  if (db->compare) return db->compare(text, family.text) == 1;
  size_t n = std::strlen(text);
  return n < 64 && std::strncmp(text, family.text, n) == 0;
}

int ClampCount(int32_t n) { return n < 0 ? 0 : n > MEDSTORE_MAX_ORGANS ? MEDSTORE_MAX_ORGANS : n; }

// Does some non-zero id of row a (ended by 0) occur in row b?
bool RowsShare(const int32_t* a, const int32_t* b) {
  for (int i = 0; i < MEDSTORE_MAX_DIAGNOSES && a[i] != 0; ++i)
    for (int j = 0; j < MEDSTORE_MAX_DIAGNOSES && b[j] != 0; ++j)
      if (a[i] == b[j]) return true;
  return false;
}

template <class T, size_t N>
int CompareTimes(const T (&a)[N], const T* b) {
  for (size_t i = 0; i < N; ++i)
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  return 0;
}

template <class Item>
void Release(ListOf<Item>** result, int** ids) {
  if (result && *result) {
    DestroyList<Item>(*result);
    *result = nullptr;
  }
  if (ids && *ids) {
    std::free(*ids);
    *ids = nullptr;
  }
}

// The common loop: copies of the selected records, in list order. forEach hands every
// candidate to its visitor until the visitor returns false.
template <class Item, class ForEach>
int Collect(ListOf<Item>* db, ListOf<Item>** result, int** ids, int* count, ForEach&& forEach) {
  Reporter report{db->report};
  ListOf<Item>* found = NewList<Item>();
  if (!found) return -1;
  int rc = 0;
  int n = 0;
  forEach([&](Item* i) {
    Item* copy = nullptr;
    rc = CopyItem(*i, &copy, report);
    if (rc != 0) return false;
    Append(found, copy);
    ++n;
    return true;
  });
  if (count) *count = n;
  if (ids) {
    *ids = static_cast<int*>(std::malloc(sizeof(int) * static_cast<size_t>(n > 0 ? n : 1)));
    if (!*ids) {
      report("Warning: failed to allocate memory\n");
      DestroyList<Item>(found);
      if (count) *count = 0;
      return -1;
    }
    int k = 0;
    for (Item* i = found->head; i; i = i->next) (*ids)[k++] = IdOf(i);
  }
  if (result)
    *result = found;
  else
    DestroyList<Item>(found);
  return rc;
}

template <class Item, class Select>
int Search(ListOf<Item>* db, ListOf<Item>** result, int** ids, int* count, Select&& selected) {
  try {
    return Collect<Item>(db, result, ids, count, [&](auto&& visit) {
      for (Item* i = db->head; i; i = i->next)
        if (selected(i) && !visit(i)) return;
    });
  } catch (const std::bad_alloc&) {
    Reporter{db->report}("Warning: failed to allocate memory\n");
    return -1;
  }
}

bool UserPasses(const user_list* db, const user_search_mask& m, const user_item* u) {
  if (m.use_fio == 1 && !NamesMatch(db, m.fio, u->FIO)) return false;
  if (m.sex != 0 && m.sex != u->Sex) return false;
  if (m.use_user_number == 1 && m.user_number != u->UserNumber) return false;
  if (m.use_user_card == 1 && !CardMatches(db, m.user_card, u->UserCard)) return false;
  if (m.use_birthday == 1 && (CompareTimes(m.birthday_from, u->Birthday) > 0 ||
                              CompareTimes(m.birthday_to, u->Birthday) < 0))
    return false;
  if (m.use_organs == 1) {
    int maskOrgans = ClampCount(m.organ_count);
    int organs = ClampCount(u->NidOrgans);
    bool any = false;
    for (int i = 0; i < maskOrgans && !any; ++i)
      for (int j = 0; j < organs && !any; ++j)
        any = m.organs[i] == u->idOrgan[j] &&
              (m.use_diagnoses != 1 || RowsShare(m.diagnoses[i], u->idDiagnosis[j]));
    if (!any) return false;
  }
  return true;
}

bool OperationPasses(const operation_list* db, const operation_search_mask& m,
                     const operation_item* o) {
  if (m.use_time == 1 &&
      (CompareTimes(m.time_from, o->Time) > 0 || CompareTimes(m.time_to, o->Time) < 0))
    return false;
  if (m.use_fio == 1 && !NamesMatch(db, m.fio, o->FIO_patient)) return false;
  if (m.use_patient_id == 1 && m.patient_id != o->idFIO_patient) return false;
  if (m.use_doctor_id == 1 && m.doctor_id != o->idFIO_doctor) return false;
  if (m.use_type == 1 && o->TypeMechReceptor != 1) return false;
  if (m.use_subtype == 1 && o->SubTypeMechReceptor != 1) return false;
  if (m.use_organs == 1) {
    int maskOrgans = ClampCount(m.organ_count);
    bool any = false;
    for (int i = 0; i < maskOrgans && !any; ++i)
      any = m.organs[i] == o->idOrgan &&
            (m.use_diagnoses != 1 || RowsShare(m.diagnoses[i], o->idDiagnosis));
    if (!any) return false;
  }
  return true;
}

}  // namespace
}  // namespace medstore::detail

using namespace medstore::detail;

extern "C" {

int GetPatients(char* text, user_list** result, int** ids, int* count, user_list* db) {
  if (!text) {
    Release<user_item>(result, ids);
    return 0;
  }
  if (!db) return 1;
  return Search<user_item>(db, result, ids, count,
                           [&](const user_item* u) { return FamilyMatches(db, text, u); });
}

int GetDoctors(char* text, doctor_list** result, int** ids, int* count, doctor_list* db) {
  if (!text) {
    Release<doctor_item>(result, ids);
    return 0;
  }
  if (!db) return 1;
  return Search<doctor_item>(db, result, ids, count,
                             [&](const doctor_item* d) { return FamilyMatches(db, text, d); });
}

int GetPatientsExt(user_search_mask* mask, user_list** result, int** ids, int* count,
                   user_list* db) {
  if (!mask) {
    Release<user_item>(result, ids);
    return 0;
  }
  if (!db) return 1;
  return Search<user_item>(db, result, ids, count,
                           [&](const user_item* u) { return UserPasses(db, *mask, u); });
}

int GetOperationsExt(operation_search_mask* mask, operation_list** result, int** ids, int* count,
                     operation_list* db) {
  if (!mask) {
    Release<operation_item>(result, ids);
    return 0;
  }
  if (!db) return 1;
  return Search<operation_item>(db, result, ids, count, [&](const operation_item* o) {
    return OperationPasses(db, *mask, o);
  });
}

int GetPushID(int operationId, push_list** result, int** ids, int* count, push_list* db) {
  if (operationId == 0) {
    Release<push_item>(result, ids);
    return 0;
  }
  if (!db) return 1;
  try {
    // The operation index names the pushes of the operation, in list order.
    medstore_index& ix = IndexOf<push_item>(db);
    auto it = ix.byOperation.find(operationId);
    bool stale = false;
    if (it != ix.byOperation.end())
      for (void* p : it->second)
        if (static_cast<push_item*>(p)->OperationID != operationId) stale = true;
    if (stale) RebuildIndex<push_item>(db);  // an id was changed behind the library's back
    it = ix.byOperation.find(operationId);
    return Collect<push_item>(db, result, ids, count, [&](auto&& visit) {
      if (it == ix.byOperation.end()) return;
      for (void* p : it->second)
        if (!visit(static_cast<push_item*>(p))) return;
    });
  } catch (const std::bad_alloc&) {
    Reporter{db->report}("Warning: failed to allocate memory\n");
    return -1;
  }
}

}  // extern "C"
