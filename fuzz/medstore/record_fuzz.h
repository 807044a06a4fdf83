// Fuzz harness shared by the record parsers: parse the input as a record file, write the item
// back, deep-copy it and check that the copy writes the same bytes, then parse the written file.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>

#include "medstore/detail/records.h"

namespace medstore_fuzz {

inline void Drop(const char*) {}

template <class Item>
Item* Parse(std::string text) {
  auto* item = static_cast<Item*>(std::malloc(sizeof(Item)));
  if (!item) return nullptr;
  medstore::detail::InitItem(*item);
  int32_t lastId = 0;
  {
    medstore::detail::ParseContext ctx(medstore::detail::Reporter{Drop}, &lastId);
    medstore::detail::ParseRecordText(ctx, text, [&](const char* b, const char* e) {
      return medstore::detail::ParseLine(ctx, *item, b, e);
    });
  }
  medstore::detail::FinishRecord(*item);
  return item;
}

template <class Item>
void Free(Item* item) {
  if (!item) return;
  medstore::detail::FreeContents(*item);
  std::free(item);
}

template <class Item>
int FuzzRecord(const uint8_t* data, size_t size) {
  Item* item = Parse<Item>(std::string(reinterpret_cast<const char*>(data), size));
  if (!item) return 0;
  std::string written;
  medstore::detail::WriteRecord(written, *item);
  Item* copy = nullptr;
  if (medstore::detail::CopyItem(*item, &copy, medstore::detail::Reporter{Drop}) == 0) {
    std::string again;
    medstore::detail::WriteRecord(again, *copy);
    if (again != written) std::abort();  // a deep copy must keep every field
    Free(copy);
  }
  Free(Parse<Item>(written));
  Free(item);
  return 0;
}

}  // namespace medstore_fuzz
