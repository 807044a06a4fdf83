// Replacing writes count only once they are on the disk: the temp file is synced before its
// rename and its folder after it. fsync and fdatasync are observed by defining them in this
// program: the library's calls bind to these definitions, which note the synced path and go on
// to the kernel.
#include <limits.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <functional>

#include "medstore_test_util.h"

namespace {

std::vector<std::string>& Synced() {
  static std::vector<std::string> paths;
  return paths;
}

void Note(int fd) {
  char link[64];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  char target[PATH_MAX];
  ssize_t n = readlink(link, target, sizeof target - 1);
  Synced().push_back(n > 0 ? std::string(target, static_cast<size_t>(n)) : std::string());
}

}  // namespace

extern "C" int fsync(int fd) {
  Note(fd);
  return static_cast<int>(syscall(SYS_fsync, fd));
}

extern "C" int fdatasync(int fd) {
  Note(fd);
  return static_cast<int>(syscall(SYS_fdatasync, fd));
}

using namespace medstore_test;

namespace {

class DurabilityTest : public ScratchTest {};

// Position of the first synced path at or after from that equals path, or starts with it when
// it ends in "*"; -1 when none.
int Position(const std::string& path, int from = 0) {
  bool prefix = !path.empty() && path.back() == '*';
  std::string want = prefix ? path.substr(0, path.size() - 1) : path;
  for (int i = from; i < static_cast<int>(Synced().size()); ++i) {
    const std::string& p = Synced()[i];
    if (prefix ? p.rfind(want, 0) == 0 : p == want) return i;
  }
  return -1;
}

TEST_F(DurabilityTest, RecordsAndTheIdMarkAreSyncedAroundTheirRename) {
  std::string db = MakeDb("DB");
  Write("DB/3/UserData", "FIO: a b c\r\nidFIO: 3\r\n");
  user_list* list = InitUserDB(C(db), Capture);
  ASSERT_NE(list, nullptr);
  struct Case {
    const char* name;
    std::function<int()> change;
    // Synced in this order: a temp file (its name shows it was synced before the rename), then
    // its folder.
    std::vector<std::pair<std::string, std::string>> writes;
    // The database folder is synced once more after the record: the record folder was made
    // while writing it. A folder claimed for a new id is made before the mark is written, whose
    // own sync covers it.
    bool folderAfterRecord;
  };
  user_item added = Blank<user_item>();
  SetNames(added.FIO, "New", "A", "B");
  user_item edited = Blank<user_item>();
  SetNames(edited.FIO, "Old", "A", "B");
  edited.idFIO = 3;
  user_item explicitId = Blank<user_item>();
  SetNames(explicitId.FIO, "Far", "A", "B");
  explicitId.idFIO = 9;
  const std::vector<Case> cases = {
      {"add",
       [&] { return AddPatient(&added, list); },
       {{Host("DB/.medstore_last_id.tmp*"), Host("DB")},
        {Host("DB/4/.UserData.tmp*"), Host("DB/4")}},
       false},
      {"edit",
       [&] { return EditPatient(3, &edited, list); },
       {{Host("DB/3/.UserData.tmp*"), Host("DB/3")}},
       false},
      {"add with an explicit id",
       [&] { return AddPatient(&explicitId, list); },
       {{Host("DB/.medstore_last_id.tmp*"), Host("DB")},
        {Host("DB/9/.UserData.tmp*"), Host("DB/9")}},
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Synced().clear();
    ASSERT_EQ(c.change(), 0);
    for (const auto& [temp, folder] : c.writes) {
      int t = Position(temp);
      EXPECT_GE(t, 0) << temp;
      EXPECT_GT(Position(folder, t + 1), t) << folder;
    }
    int record = Position(c.writes.back().second);
    EXPECT_EQ(Position(Host("DB"), record + 1) > record, c.folderAfterRecord);
  }
  EXPECT_EQ(Read("DB/medstore_last_id"), "9\r\n");
  EXPECT_EQ(Read("DB/3/UserData").substr(0, 14), "FIO: Old A B\r\n");
  CloseUserDB(list);
}

}  // namespace
