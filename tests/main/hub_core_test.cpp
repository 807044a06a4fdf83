// What the main hub keeps and computes without windows: its settings read from and written to
// the set "KCDMain", the parameters dialog's reading of typed texts, the receptor init strings
// file, the port list text and the record remover it gives medstore.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <fstream>

#include "app/main/database_callbacks.h"
#include "app/main/hub_settings.h"
#include "app/main/port_list.h"
#include "app/main/receptor_init_strings.h"
#include "medstore/medstore.h"
#include "params/parameter_store.h"
#include "support/scratch_roots.h"

namespace {

namespace fs = std::filesystem;

void Write(const fs::path& p, const std::string& bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << bytes;
}

TEST(HubSettings, MissingKeysKeepTheirDefaultsAndASaveAppendsThemInTheFixedOrder) {
  ScratchRoots roots;
  Write(roots.data() / "pars" / "KCDMain.par",
        "d NumCOMPort\r\n7\r\ns file_instead_COM_port\r\nC:\\x.bin\r\nl DtShowVideo\r\n0.25\r\n"
        "d foreign\r\n5\r\n");
  ParameterSet set;
  LoadPars("KCDMain", &set);
  HubSettings s;
  ReadHubSettings(set, s);
  EXPECT_EQ(s.NumCOMPort, 7);
  EXPECT_EQ(s.file_instead_COM_port, "C:\\x.bin");
  EXPECT_EQ(s.DtShowVideo, 0.25);
  const HubSettings defaults;
  EXPECT_EQ(s.NumCOMPort2, defaults.NumCOMPort2);
  EXPECT_EQ(s.set_output_all_data_into_text_file, 0);
  EXPECT_EQ(s.SensibilityReceptorV, 1.0);

  s.NumDevice2 = 42;
  ASSERT_EQ(SaveHubSettings(s, set), 0);
  // The records of the file keep their places (a foreign key too); the others follow in order.
  const std::string file = ReadBytes(roots.data() / "pars" / "KCDMain.par");
  EXPECT_EQ(file.rfind("d NumCOMPort\r\n7\r\ns file_instead_COM_port\r\nC:\\x.bin\r\n"
                       "l DtShowVideo\r\n0.25\r\nd foreign\r\n5\r\n"
                       "d NAddSensorRectDomainMinUsed\r\n1\r\nd NumCOMPort2\r\n4\r\n"
                       "d NumDevice\r\n5\r\nd NumDevice2\r\n42\r\n",
                       0),
            0u)
      << file;
  const std::string last = "d set_use_recognition_library\r\n0\r\n";
  EXPECT_EQ(file.substr(file.size() - last.size()), last);
  FreePars(&set);
}

TEST(HubSettings, EverySettingSurvivesASaveAndALoad) {
  ScratchRoots roots;
  HubSettings s;
  int32_t next = 100;
  double real = 0.5;
  s.ForEach([&](const char*, auto& v) {
    using T = std::decay_t<decltype(v)>;
    if constexpr (std::is_same_v<T, int32_t>)
      v = next++;
    else if constexpr (std::is_same_v<T, double>)
      v = real += 0.25;
    else
      v = "C:\\Tacmon\\pars\\line1\r\nline2";  // a text with a line end survives too
  });
  ParameterSet out;
  LoadPars("KCDMain", &out);
  ASSERT_EQ(SaveHubSettings(s, out), 0);
  FreePars(&out);
  ParameterSet in;
  LoadPars("KCDMain", &in);
  HubSettings back;
  ReadHubSettings(in, back);
  std::vector<std::string> wrote, read;
  auto collect = [](std::vector<std::string>& into) {
    return [&into](const char* key, auto& v) {
      std::ostringstream text;
      text << key << "=" << v;
      into.push_back(text.str());
    };
  };
  s.ForEach(collect(wrote));
  back.ForEach(collect(read));
  EXPECT_EQ(read, wrote);
  EXPECT_EQ(wrote.size(), 27u);
  in.modified = false;
  FreePars(&in);
}

TEST(ParametersInput, DisplayPeriodTexts) {
  struct Case {
    const char* text;
    double previous;
    double expected;
  };
  const Case kCases[] = {
      {"0.5", 0.05, 0.5},    {"100", 0.05, 100},  {"100.0001", 0.05, 0.05}, {"0", 0.2, 0.05},
      {"-1", 0.2, 0.05},     {"101", 0.2, 0.05},  {"abc", 0.2, 0.2},        {"abc", 500, 0.05},
      {"", 0.2, 0.2},        {"nan", 0.2, 0.2},   {"NAN", 500, 0.05},       {"inf", 0.2, 0.2},
      {"-inf", 0.2, 0.2},    {"1e999", 0.2, 0.2}, {"0.3xyz", 0.2, 0.3},     {" 2.5", 0.2, 2.5},
      {"1e-400", 0.2, 0.05},  // scans as 0
  };
  for (const Case& c : kCases)
    EXPECT_EQ(DisplayPeriodFromText(c.text, c.previous), c.expected) << c.text << " " << c.previous;
}

TEST(ParametersInput, IntegerTexts) {
  struct Case {
    const char* text;
    bool scans;
    int32_t value;
  };
  const Case kCases[] = {
      {"12", true, 12},
      {"-7", true, -7},
      {" +3", true, 3},
      {"12abc", true, 12},
      {"abc", false, 0},
      {"", false, 0},
      {"-", false, 0},
      {"2147483647", true, INT32_MAX},
      {"-2147483648", true, INT32_MIN},
      {"2147483648", false, 0},
      {"99999999999999999999999", false, 0},
      {"-2147483649", false, 0},
  };
  for (const Case& c : kCases) {
    int32_t v = 0;
    EXPECT_EQ(ScanInt32(c.text, v), c.scans) << c.text;
    if (c.scans) {
      EXPECT_EQ(v, c.value) << c.text;
    }
  }
  EXPECT_EQ(IntSettingFromEdit(0, 3), 3);
  EXPECT_EQ(IntSettingFromEdit(1, 3), 1);
  EXPECT_EQ(IntSettingFromEdit(1000, 3), 1000);
  EXPECT_EQ(IntSettingFromEdit(1001, 4), 4);
}

class InitStrings : public ::testing::Test {
 protected:
  fs::path File() const { return roots_.data() / "enums" / "ReceptorInitStrings.txt"; }
  ScratchRoots roots_;
};

TEST_F(InitStrings, AMissingFileIsCreatedWithTheCurrentStrings) {
  std::vector<Text1251> strings = DefaultReceptorInitStrings();
  ASSERT_EQ(strings.size(), 3u);
  for (size_t i = 0; i < strings.size(); ++i) {
    const std::string prefix[] = {"", "2)", "8)"};
    ASSERT_EQ(strings[i].rfind(prefix[i] + "btcaa=", 0), 0u);
    EXPECT_EQ(strings[i].size(), prefix[i].size() + 6 + 12);
  }
  fs::create_directories(File().parent_path());
  EXPECT_EQ(LoadReceptorInitStrings(strings), 1);
  EXPECT_EQ(ReadBytes(File()), strings[0] + "\r\n" + strings[1] + "\r\n" + strings[2] + "\r\n");
  EXPECT_EQ(strings, DefaultReceptorInitStrings());
}

TEST_F(InitStrings, LinesAreTrimmedCutAndLimited) {
  struct Case {
    std::string file;
    std::vector<Text1251> expected;
  };
  std::string many;
  for (int i = 0; i < 120; ++i) many += "s" + std::to_string(i) + "\n";
  std::vector<Text1251> first100;
  for (int i = 0; i < 100; ++i) first100.push_back("s" + std::to_string(i));
  const Case kCases[] = {
      {"btcaa=0   \r\n", {"btcaa=0"}},
      {"btcaa=0 \t \r\n\r\n   \r\n2)btcaa=1", {"btcaa=0", "2)btcaa=1"}},
      {"  lead\r\n", {"  lead"}},  // only trailing blanks go
      {std::string(300, 'x') + "\r\nnext\r\n", {std::string(255, 'x'), "next"}},
      {"\xc0\xc1\xc2 \r\n", {"\xc0\xc1\xc2"}},  // CP1251 text stays as it is
      {"", {}},
      {many, first100},
  };
  for (const Case& c : kCases) {
    Write(File(), c.file);
    std::vector<Text1251> strings = DefaultReceptorInitStrings();
    EXPECT_EQ(LoadReceptorInitStrings(strings), 0);
    EXPECT_EQ(strings, c.expected) << c.file.substr(0, 40);
    EXPECT_EQ(ReadBytes(File()), c.file);  // never rewritten
  }
}

TEST_F(InitStrings, AFolderInPlaceOfTheFileIsLeftAlone) {
  fs::create_directories(File());
  std::vector<Text1251> strings{"keep"};
  EXPECT_EQ(LoadReceptorInitStrings(strings), -1);
  EXPECT_EQ(strings, std::vector<Text1251>{"keep"});
  EXPECT_TRUE(fs::is_directory(File()));
}

TEST(PortList, ListsTheOpenablePortsOfItsRange) {
  struct Case {
    std::set<int> open;
    const char* text;
  };
  const Case kCases[] = {
      {{}, "No ports."},       {{1, 2, 150}, "No ports."},           {{3}, "COM3."},
      {{5, 3}, "COM3, COM5."}, {{3, 4, 149}, "COM3, COM4, COM149."},
  };
  for (const Case& c : kCases)
    EXPECT_EQ(PortListText([&](int n) { return c.open.count(n) > 0; }), c.text);
}

class RemoveTree : public ::testing::Test {
 protected:
  void SetUp() override {
    outside_ = roots_.base() / "outside";
    Write(outside_ / "precious.txt", "keep");
    Write(Db() / "DB_op" / "17" / "OperationData", "record");
    Write(Db() / "DB_op" / "17" / "push" / "1.psh", "push");
  }
  fs::path Db() const { return roots_.database(); }
  bool OutsideIntact() const { return ReadBytes(outside_ / "precious.txt") == "keep"; }

  ScratchRoots roots_;
  fs::path outside_;
};

TEST_F(RemoveTree, RemovesARecordFolderInEveryFormThePathComesIn) {
  for (const char* path :
       {"c:\\TacmonData\\DB_op/17", "C:\\TACMONDATA\\db_op\\17\\", "c:/TacmonData/DB_op/17"}) {
    SetUp();
    EXPECT_EQ(DeletePathTree(path), 0) << path;
    EXPECT_FALSE(fs::exists(Db() / "DB_op" / "17")) << path;
    EXPECT_TRUE(fs::is_directory(Db() / "DB_op")) << path;
  }
  Write(Db() / "DB_op" / "18", "a file");
  EXPECT_EQ(DeletePathTree("c:\\TacmonData\\DB_op\\18"), 0);
  EXPECT_FALSE(fs::exists(Db() / "DB_op" / "18"));
  EXPECT_EQ(DeletePathTree("c:\\TacmonData\\DB_op\\19"), -1);  // nothing there
  EXPECT_EQ(DeletePathTree(nullptr), -1);
}

TEST_F(RemoveTree, RefusesPathsOutsideTheDatabaseFolders) {
  Write(roots_.data() / "OPERATIONS" / "op" / "patient.bin", "x");
  const std::string outsideHost = outside_.string();
  const std::string viaDots = (Db() / "DB_op" / ".." / ".." / "outside").string();
  for (const std::string& path :
       {std::string("c:\\TacmonData\\"), std::string("c:\\TacmonData"),
        std::string("c:\\TacmonData\\DB_op"), std::string("c:\\Tacmon\\OPERATIONS\\op"),
        std::string("c:\\Tacmon\\"), outsideHost, viaDots, std::string("/"), std::string("")}) {
    EXPECT_EQ(DeletePathTree(path.c_str()), -1) << path;
  }
  EXPECT_TRUE(OutsideIntact());
  EXPECT_TRUE(fs::exists(Db() / "DB_op" / "17" / "OperationData"));
  EXPECT_TRUE(fs::exists(roots_.data() / "OPERATIONS" / "op" / "patient.bin"));
}

TEST_F(RemoveTree, OtherRootsAllowWhatLiesStrictlyBelowThem) {
  Write(roots_.data() / "OPERATIONS" / "op" / "patient.bin", "x");
  const char* kOperations = "c:\\Tacmon\\OPERATIONS\\";
  EXPECT_EQ(DeletePathTreeWithin("c:\\Tacmon\\OPERATIONS", kOperations), -1);
  EXPECT_EQ(DeletePathTreeWithin("c:\\Tacmon\\pars", kOperations), -1);
  EXPECT_EQ(DeletePathTreeWithin("c:\\Tacmon\\OPERATIONS\\op", kOperations), 0);
  EXPECT_FALSE(fs::exists(roots_.data() / "OPERATIONS" / "op"));
  EXPECT_TRUE(fs::is_directory(roots_.data() / "OPERATIONS"));
}

TEST_F(RemoveTree, NeverFollowsALink) {
  // A link inside the record folder: removed as a link, its target untouched.
  fs::create_directory_symlink(outside_, Db() / "DB_op" / "17" / "push" / "elsewhere");
  fs::create_symlink(outside_ / "precious.txt", Db() / "DB_op" / "17" / "file-link");
  EXPECT_EQ(DeletePathTree("c:\\TacmonData\\DB_op\\17"), 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(Db() / "DB_op" / "17")));
  EXPECT_TRUE(OutsideIntact());

  // The record folder itself a link: the link goes, not what it points at.
  fs::create_directory_symlink(outside_, Db() / "DB_op" / "20");
  EXPECT_EQ(DeletePathTree("c:\\TacmonData\\DB_op\\20"), 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(Db() / "DB_op" / "20")));
  EXPECT_TRUE(OutsideIntact());

  // A database folder that is a link: the way leads elsewhere, so nothing is removed.
  fs::create_directories(outside_ / "21");
  fs::create_directory_symlink(outside_, Db() / "DB_linked");
  EXPECT_EQ(DeletePathTree("c:\\TacmonData\\DB_linked\\21"), -1);
  EXPECT_EQ(DeletePathTree("c:\\TacmonData\\DB_linked\\precious.txt"), -1);
  EXPECT_TRUE(fs::is_directory(outside_ / "21"));
  EXPECT_TRUE(OutsideIntact());
}

std::vector<std::string> g_reports;
void Capture(const char* text) { g_reports.push_back(text); }

TEST_F(RemoveTree, MedstoreDeletesARecordWithItsFilesThroughIt) {
  g_reports.clear();
  fs::create_directories(Db() / "DB_doc");
  std::string path = "c:\\TacmonData\\DB_doc";
  doctor_list* list = InitDoctorDB(path.data(), Capture);
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(SetAddDoctorData(2, reinterpret_cast<void*>(&DeletePathTree), 4, list), 0);
  doctor_item d{};
  d.size = sizeof d;
  d.version = MEDSTORE_ITEM_VERSION;
  std::snprintf(d.FIO[0], 64, "Surgeon");
  ASSERT_EQ(AddDoctor(&d, list), 0);
  const fs::path folder = Db() / "DB_doc" / std::to_string(d.idFIO);
  ASSERT_TRUE(fs::is_directory(folder));
  Write(folder / "extra" / "scan.bin", "x");
  fs::create_directory_symlink(outside_, folder / "link");
  EXPECT_EQ(DelDoctor(d.idFIO, list), 0);
  EXPECT_FALSE(fs::exists(folder));
  EXPECT_TRUE(OutsideIntact());
  EXPECT_TRUE(g_reports.empty()) << g_reports.front();
  CloseDoctorDB(list);
}

TEST(Callbacks, WildcardMatchAnswersAsMedstoreExpects) {
  EXPECT_EQ(WildcardMatch("Иван*"_cp, "иванов"_cp), 1);
  EXPECT_EQ(WildcardMatch("Pe?rov", "Petrov"), 1);
  EXPECT_EQ(WildcardMatch("Pe", "Petrov"), 0);
  EXPECT_EQ(WildcardMatch(nullptr, "Petrov"), 0);
  EXPECT_EQ(WildcardMatch("*", nullptr), 0);
}

}  // namespace
