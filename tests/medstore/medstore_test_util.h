// Scratch databases for the medstore tests: a fresh $TACMON_DATA per test, record files written
// directly, and the messages the library reports.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "medstore/medstore.h"

namespace medstore_test {

inline std::vector<std::string>& Messages() {
  static std::vector<std::string> messages;
  return messages;
}
inline void Capture(const char* text) { Messages().emplace_back(text); }

inline int Count(const std::string& message) {
  int n = 0;
  for (const auto& m : Messages()) n += m == message;
  return n;
}

class ScratchTest : public ::testing::Test {
 public:
  void SetUp() override {
    char tmpl[] = "/tmp/medstore_test_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    setenv("TACMON_DATA", root_.c_str(), 1);
    setenv("TACMON_ROOT", (root_ + "/root").c_str(), 1);
    Messages().clear();
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }
  // A database folder under the scratch root; returns its path in the system's form.
  std::string MakeDb(const std::string& name) {
    std::filesystem::create_directories(root_ + "/" + name);
    return "c:\\TacmonData\\" + name;
  }
  std::string Host(const std::string& rel) const { return root_ + "/" + rel; }
  void Write(const std::string& rel, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(Host(rel)).parent_path());
    std::ofstream(Host(rel), std::ios::binary) << bytes;
  }
  std::string Read(const std::string& rel) const {
    std::ifstream in(Host(rel), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  bool Exists(const std::string& rel) const { return std::filesystem::exists(Host(rel)); }
  static char* C(std::string& s) { return s.data(); }

  std::string root_;
};

template <class Item>
Item Blank() {
  Item item;
  std::memset(static_cast<void*>(&item), 0, sizeof item);
  item.size = sizeof item;
  item.version = 3;
  return item;
}

inline void SetNames(char (*fio)[64], const char* a, const char* b, const char* c) {
  std::strncpy(fio[0], a, 63);
  std::strncpy(fio[1], b, 63);
  std::strncpy(fio[2], c, 63);
}

template <class List>
int Size(const List* list) {
  int n = 0;
  for (auto* i = list ? list->head : nullptr; i; i = i->next) ++n;
  return n;
}

}  // namespace medstore_test
