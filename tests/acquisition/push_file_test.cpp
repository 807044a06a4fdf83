#include "acquisition/push_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>

#include "platform/file.h"
#include "platform/report.h"
#include "test_support.h"

namespace {

using namespace std::string_literals;

using PushFiles = LoggedScratchRoot;

Push SamplePush(int frames) {
  Push p = CreatePush();
  AllocateFrames(p, frames);
  for (int f = 0; f < frames; ++f) {
    auto& fr = p.frames[f];
    fr.index = 10 + f;
    for (int s = 0; s < kSensorCount; ++s) fr.values[s] = 1000 * f + s;
    fr.captureTime = {2024, 5, 6, 7, 8, 9, static_cast<int16_t>(100 + f)};
    fr.storedTime = fr.captureTime;
    for (int k = 0; k < kAuxCapacity; ++k) fr.aux[k] = k < kAuxWordsInUse ? -k : 0;
  }
  p.passport.deviceNumber = 21;
  return p;
}

// Bytes of a frame record in an older file version, built field by field.
std::string OldRecord(int version, int32_t index, int16_t firstValue, int32_t flags) {
  std::string r;
  auto i32 = [&](int32_t v) { r.append(reinterpret_cast<const char*>(&v), 4); };
  auto i16 = [&](int16_t v) { r.append(reinterpret_cast<const char*>(&v), 2); };
  if (version >= 1002) i32(index);
  r += "TC20\xff\xff\x40\x01\x40\x01\x24\x00"s;
  i16(firstValue);
  for (int s = 1; s < kSensorCount; ++s) i16(static_cast<int16_t>(s));
  r += "\xff\xff"s;
  if (version >= 1003) {
    for (int16_t v : {2020, 1, 2, 3, 4, 5, 6}) i16(v);
    for (int16_t v : {2020, 1, 2, 3, 4, 5, 7}) i16(v);
    for (int k = 0; k < (version >= 1006 ? 28 : 26); ++k) i32(k + 1);
  }
  if (version >= 1005) i32(flags);
  return r;
}

std::string Version(int32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); }

TEST_F(PushFiles, ViewerFileIsByteExact) {
  Push p = CreatePush();
  AllocateFrames(p, 1);
  auto& f = p.frames[0];
  f.index = 258;
  f.values.fill(0);
  f.values[0] = 40000;  // low 16 bits: 0x9C40
  f.values[18] = -1;
  f.captureTime = {2024, 12, 31, 23, 59, 58, 999};
  f.storedTime = f.captureTime;
  f.aux[0] = 1;
  f.aux[27] = -2;
  f.aux[28] = 5;  // slots beyond 28 are not stored
  f.flags = 1;
  ASSERT_EQ(WriteViewerPushFile(p, "c:\\Tacmon\\pars\\v.bin"), 0);
  std::string expected =
      "\xee\x03\0\0"s  // version 1006
      "\x02\x01\0\0"s  // index 258
      "TC20\xff\xff\x40\x01\x40\x01\x24\x00"s
      "\x40\x9c"s +
      std::string(34, '\0') +
      "\xff\xff"s  // 19 values
      "\xff\xff"s  // end of record
      "\xe8\x07\x0c\x00\x1f\x00\x17\x00\x3b\x00\x3a\x00\xe7\x03"s
      "\xe8\x07\x0c\x00\x1f\x00\x17\x00\x3b\x00\x3a\x00\xe7\x03"s
      "\x01\0\0\0"s +
      std::string(26 * 4, '\0') +
      "\xfe\xff\xff\xff"s
      "\x01\0\0\0"s;
  EXPECT_EQ(Slurp(Host("pars/v.bin")), expected);
}

TEST_F(PushFiles, SizesAndRoundTripOfBothVariants) {
  Push p = SamplePush(3);
  p.frames[1].SetLabel(true);
  ASSERT_EQ(WritePushFile(p, "c:\\Tacmon\\pars\\full.psh"), 0);
  ASSERT_EQ(WriteViewerPushFile(p, "c:\\Tacmon\\pars\\viewer.bin"), 0);
  EXPECT_EQ(std::filesystem::file_size(Host("pars/full.psh")), 4u + 6912u + 600u);
  EXPECT_EQ(std::filesystem::file_size(Host("pars/viewer.bin")), 604u);

  Push a;
  PushFileInfo info;
  ASSERT_EQ(ReadPushFile(a, "c:\\Tacmon\\pars\\full.psh", &info), 0);
  EXPECT_TRUE(info.passportBlock);
  EXPECT_EQ(info.frameCount, 3);
  EXPECT_TRUE(a.hasPassport);
  EXPECT_EQ(a.passport.deviceNumber, 21);
  EXPECT_EQ(a.fileName, "c:\\Tacmon\\pars\\full.psh");
  ASSERT_EQ(a.FrameCount(), 3);
  for (int f = 0; f < 3; ++f) {
    EXPECT_EQ(a.frames[f].values, p.frames[f].values);
    EXPECT_EQ(a.frames[f].index, p.frames[f].index);
    EXPECT_EQ(a.frames[f].captureTime, p.frames[f].captureTime);
    EXPECT_EQ(a.frames[f].aux, p.frames[f].aux);
    EXPECT_EQ(a.frames[f].flags, p.frames[f].flags);
  }
  EXPECT_EQ(a.frames[2].labelCount, 1);

  Push b;
  ASSERT_EQ(ReadViewerPushFile(b, "c:\\Tacmon\\pars\\viewer.bin", &info), 0);
  EXPECT_FALSE(info.passportBlock);
  EXPECT_FALSE(b.hasPassport);
  EXPECT_EQ(b.frames[2].values, p.frames[2].values);
}

TEST_F(PushFiles, PassportBlockClaimingMoreChannelsThanItHolds) {
  struct Case {
    int32_t claimed;
    int used;
  } cases[] = {{129, 128}, {100000, 128}, {-3, 0}};
  for (const auto& c : cases) {
    Push p = SamplePush(2);
    p.passport.numChannels = c.claimed;
    p.passport.slopes.fill(2.0);
    ASSERT_EQ(WritePushFile(p, "c:\\Tacmon\\pars\\wide.psh"), 0);
    std::string bytes = Slurp(Host("pars/wide.psh"));
    EXPECT_EQ(bytes.size(), 4u + 6912u + 400u) << c.claimed;

    Push back;
    PushFileInfo info;
    ASSERT_EQ(ReadPushFile(back, "c:\\Tacmon\\pars\\wide.psh", &info), 0) << c.claimed;
    EXPECT_TRUE(info.passportBlock);
    EXPECT_EQ(back.passport.numChannels, c.claimed);  // kept as stored
    EXPECT_EQ(UsedChannels(back.passport), c.used);
    ASSERT_EQ(back.FrameCount(), 2);
    EXPECT_EQ(back.frames[1].values, p.frames[1].values);
    // Written again, the push is the same file; its passport text holds the stored channels.
    ASSERT_EQ(WritePushFile(back, "c:\\Tacmon\\pars\\again.psh"), 0);
    EXPECT_EQ(Slurp(Host("pars/again.psh")), bytes) << c.claimed;
    std::string dvp = FormatDvp(back.passport);
    size_t at = dvp.find("\nSLOPES:");
    ASSERT_NE(at, std::string::npos);
    std::string line = dvp.substr(at + 1, dvp.find('\n', at + 1) - at - 1);
    size_t values = 0;
    for (size_t i = line.find(" 2."); i != std::string::npos; i = line.find(" 2.", i + 1)) ++values;
    EXPECT_EQ(values, size_t(c.used)) << c.claimed;
  }
}

TEST_F(PushFiles, SignOfStoredWordsDependsOnTheReader) {
  Push p = SamplePush(1);
  p.frames[0].values[0] = 0x9C40;
  WritePushFile(p, "c:\\Tacmon\\pars\\s.psh");
  WriteViewerPushFile(p, "c:\\Tacmon\\pars\\s.bin");
  Push a, b;
  ASSERT_EQ(ReadPushFile(a, "c:\\Tacmon\\pars\\s.psh"), 0);
  ASSERT_EQ(ReadViewerPushFile(b, "c:\\Tacmon\\pars\\s.bin"), 0);
  EXPECT_EQ(a.frames[0].values[0], -25536);
  EXPECT_EQ(b.frames[0].values[0], 40000);
}

TEST_F(PushFiles, OlderVersionsAndRefusals) {
  struct Case {
    int version;
    int32_t index;
    int auxSlots;
    int32_t flags;
  } cases[] = {{1001, 0, 0, 0},  {1002, 7, 0, 0},  {1003, 7, 26, 0},
               {1004, 7, 26, 0}, {1005, 7, 26, 1}, {1006, 7, 28, 1}};
  for (const auto& c : cases) {
    std::string bytes = Version(c.version) + OldRecord(c.version, 7, -5, 1) +
                        OldRecord(c.version, 8, 6, 0) + "\x01\x02"s;  // a partial tail
    Spit(Host("pars/old.bin"), bytes);
    Push p;
    PushFileInfo info;
    ASSERT_EQ(ReadViewerPushFile(p, "c:\\Tacmon\\pars\\old.bin", &info), 0) << c.version;
    EXPECT_EQ(info.trailingBytes, 2);
    ASSERT_EQ(p.FrameCount(), 2) << c.version;
    const auto& f = p.frames[0];
    EXPECT_EQ(f.index, c.index) << c.version;
    EXPECT_EQ(f.values[0], 65531) << c.version;  // -5 zero-extended
    EXPECT_EQ(f.values[18], 18);
    EXPECT_EQ(f.captureTime.millisecond, c.version >= 1003 ? 6 : 0);
    EXPECT_EQ(f.storedTime.millisecond, c.version >= 1003 ? 7 : 0);
    for (int k = 0; k < kAuxCapacity; ++k)
      EXPECT_EQ(f.aux[k], k < c.auxSlots ? k + 1 : 0) << c.version << " slot " << k;
    EXPECT_EQ(f.flags, c.flags) << c.version;
    // The passport-variant reader of a blockless file reads the same frames, sign-extended.
    Push q;
    ASSERT_EQ(ReadPushFile(q, "c:\\Tacmon\\pars\\old.bin"), 0) << c.version;
    EXPECT_EQ(q.frames[0].values[0], -5);
    EXPECT_FALSE(q.hasPassport);
  }
  struct Bad {
    std::string bytes;
    int rc;
  } bad[] = {{Version(1007) + OldRecord(1006, 0, 0, 0), -2},
             {Version(1000) + OldRecord(1001, 0, 0, 0), -2},
             {"\x01\x02"s, -2},
             {Version(1006) + std::string(199, 'x'), -3},
             {Version(1006), -3}};
  for (const auto& b : bad) {
    Spit(Host("pars/bad.bin"), b.bytes);
    Push p = SamplePush(2);
    EXPECT_EQ(ReadPushFile(p, "c:\\Tacmon\\pars\\bad.bin"), b.rc);
    EXPECT_EQ(p.FrameCount(), 0);
  }
  Push p;
  EXPECT_EQ(ReadPushFile(p, "c:\\Tacmon\\pars\\none.bin"), -1);
}

TEST_F(PushFiles, ControlPushWithoutBlockIsReadByContent) {
  // The viewer's working copy (no block) copied to a control push file.
  Push p = SamplePush(4);
  ASSERT_EQ(WriteViewerPushFile(p, "c:\\Tacmon\\pars\\TestWire.bin"), 0);
  Push c;
  PushFileInfo info;
  ASSERT_EQ(ReadPushFile(c, "c:\\Tacmon\\pars\\TestWire.bin", &info), 0);
  EXPECT_FALSE(info.passportBlock);
  EXPECT_FALSE(c.hasPassport);
  ASSERT_EQ(c.FrameCount(), 4);
  EXPECT_EQ(c.frames[3].values, p.frames[3].values);
  // And a file with a block opened by the viewer reader skips the block.
  ASSERT_EQ(WritePushFile(p, "c:\\Tacmon\\pars\\TestWireless.bin"), 0);
  Push v;
  ASSERT_EQ(ReadViewerPushFile(v, "c:\\Tacmon\\pars\\TestWireless.bin", &info), 0);
  EXPECT_TRUE(info.passportBlock);
  EXPECT_FALSE(v.hasPassport);
  EXPECT_EQ(v.FrameCount(), 4);
  EXPECT_EQ(v.frames[0].values, p.frames[0].values);
}

TEST_F(PushFiles, WriteFailureIsReported) {
  Push p = SamplePush(1);
  EXPECT_EQ(WritePushFile(p, "c:\\Tacmon\\missing\\x.psh"), -1);
  ASSERT_FALSE(Log().empty());
  EXPECT_EQ(Log().back(), "Can't write file 'c:\\Tacmon\\missing\\x.psh'");
}

TEST_F(PushFiles, StreamRecordsAndCopiesWithoutOverwriting) {
  std::filesystem::create_directories(Host("OPERATIONS/op1"));
  const char* folder = "c:\\Tacmon\\OPERATIONS\\op1";
  FrameTime stop{2024, 1, 2, 9, 5, 7, 0};
  std::vector<Text1251> names;
  for (int run = 0; run < 3; ++run) {
    Push p = CreatePush();
    ASSERT_EQ(OpenPushStream(p, /*withTextDump=*/run == 0), 0);
    Push sample = SamplePush(2);
    EXPECT_EQ(AppendStreamFrame(p, sample.frames[0]), -1);  // no block yet (zero point)
    DevicePassport pass;
    pass.deviceNumber = 40 + run;
    ASSERT_EQ(WriteStreamPassport(p, pass), 0);
    EXPECT_EQ(AppendStreamFrame(p, sample.frames[0]), 0);
    EXPECT_EQ(AppendStreamFrame(p, sample.frames[1]), 0);
    if (run == 0) {
      TextDumpFrame d;
      EXPECT_EQ(AppendStreamTextDump(p, d), 0);
    }
    Push copy = p;  // a copy never takes the open stream
    EXPECT_FALSE(copy.stream.IsOpen());
    StoppedPush stopped = ClosePushStream(p, folder, stop);
    EXPECT_FALSE(stopped.damaged);
    names.push_back(stopped.fileName);
    EXPECT_FALSE(p.stream.IsOpen());
  }
  EXPECT_EQ(names[0], "c:\\Tacmon\\OPERATIONS\\op1\\09-05-07.psh");
  EXPECT_EQ(names[1], "c:\\Tacmon\\OPERATIONS\\op1\\09-05-07_2.psh");
  EXPECT_EQ(names[2], "c:\\Tacmon\\OPERATIONS\\op1\\09-05-07_3.psh");
  EXPECT_TRUE(std::filesystem::exists(Host("OPERATIONS/op1/09-05-07.txt")));
  for (int run = 0; run < 3; ++run) {
    Push back;
    ASSERT_EQ(ReadPushFile(back, names[run]), 0);
    EXPECT_EQ(back.passport.deviceNumber, 40 + run);
    EXPECT_EQ(back.FrameCount(), 2);
  }
  // A failed copy is logged and yields no name.
  Push p = CreatePush();
  ASSERT_EQ(OpenPushStream(p), 0);
  EXPECT_TRUE(ClosePushStream(p, "c:\\Tacmon\\OPERATIONS\\gone", stop).fileName.empty());
  EXPECT_NE(Log().back().find("Can't copy file"), std::string::npos);
}

TEST_F(PushFiles, StreamThatCannotOpenRecordsWithoutFile) {
  std::filesystem::remove_all(Host("pars"));
  Push p = CreatePush();
  EXPECT_EQ(OpenPushStream(p), -1);
  EXPECT_EQ(Log().back(), "Не удается открыть файл на запись"_cp);
  EXPECT_EQ(WriteStreamPassport(p, DevicePassport{}), -1);
  EXPECT_EQ(AppendStreamFrame(p, SensorFrame{}), -1);
  StoppedPush stopped = ClosePushStream(p, "c:\\Tacmon", FrameTime{});
  EXPECT_TRUE(stopped.fileName.empty());
  EXPECT_FALSE(stopped.damaged);
}

// A file-size limit for the test's process, as a full disk would set one; SIGXFSZ is ignored so
// the write fails with EFBIG instead of ending the process.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &old_);
    struct rlimit tiny = old_;
    tiny.rlim_cur = bytes;
    handler_ = std::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &tiny);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, handler_);
  }

 private:
  struct rlimit old_ {};
  void (*handler_)(int) = nullptr;
};

TEST_F(PushFiles, DamagedStreamIsReportedAndKeptNeverHandedOnAsRecording) {
  struct Case {
    const char* what;
    int frames;
    rlim_t limit;
    bool withTextDump;
  };
  // Every frame record is handed to the system as it is appended, so the append that crosses
  // the limit fails at once, whether the limit falls a few frames or many after the passport
  // block.
  const Case cases[] = {{"few frames", 3, 7000, false}, {"many frames", 60, 9000, true}};
  FrameTime stop{2024, 1, 2, 10, 11, 12, 0};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Text1251 folderName = Text1251("c:\\Tacmon\\OPERATIONS\\") + (c.withTextDump ? "b" : "a");
    const auto folder = Host(std::string("OPERATIONS/") + (c.withTextDump ? "b" : "a"));
    std::filesystem::create_directories(folder);
    Push sample = SamplePush(c.frames);
    DevicePassport pass;
    pass.deviceNumber = 77;
    sample.passport = pass;
    auto intact = EncodePushFile(sample, /*withPassport=*/true);
    ASSERT_GT(intact.size(), c.limit);

    Push p = CreatePush();
    StoppedPush stopped;
    int appendFailures = 0;
    {
      FileSizeLimit limit(c.limit);
      ASSERT_EQ(OpenPushStream(p, c.withTextDump), 0);
      ASSERT_EQ(WriteStreamPassport(p, pass), 0);
      for (const auto& f : sample.frames) appendFailures += AppendStreamFrame(p, f) != 0;
      if (c.withTextDump) {
        EXPECT_EQ(AppendStreamTextDump(p, TextDumpFrame{}), 0);
      }
      stopped = ClosePushStream(p, folderName, stop);
    }
    EXPECT_GT(appendFailures, 0);
    EXPECT_TRUE(stopped.damaged);
    EXPECT_TRUE(stopped.fileName.empty());
    EXPECT_EQ(stopped.keptFile, folderName + "\\10-11-12-damaged.bin");
    // Nothing in the folder looks like a recording; what was written is there, byte for byte.
    for (const auto& e : std::filesystem::directory_iterator(folder))
      EXPECT_NE(e.path().extension(), ".psh") << e.path();
    std::string kept = Slurp(folder / "10-11-12-damaged.bin");
    EXPECT_LE(kept.size(), c.limit);
    EXPECT_GT(kept.size(), 4096u);
    EXPECT_EQ(kept, std::string(intact.begin(), intact.begin() + kept.size()));
    EXPECT_EQ(std::filesystem::exists(folder / "10-11-12-damaged.txt"), c.withTextDump);
    // The log names the damaged file and where its bytes are.
    bool named = false;
    for (const auto& line : Log())
      named |= line.find("damaged") != std::string::npos &&
               line.find("tmpSavedData.bin") != std::string::npos &&
               line.find(stopped.keptFile) != std::string::npos;
    EXPECT_TRUE(named);
  }
}

TEST(TextDump, SevenLinesPerFrame) {
  TextDumpFrame d;
  d.normalized.fill(1);
  d.raw.fill(-2);
  d.aux.fill(-1);
  d.display.fill(3);
  d.hasSecond = true;
  d.secondNormalized.fill(-4.0);
  d.secondNormalized[0] = 2.5;
  d.secondRaw.fill(5);
  d.testerState = 1;
  std::string text = FormatTextDump(d);
  auto repeat = [](const std::string& s, int n) {
    std::string r;
    for (int i = 0; i < n; ++i) r += s;
    return r;
  };
  std::string expected = repeat("     1 ", 19) + "\n" + repeat("    -2 ", 19) + "\n" +
                         repeat(" 65535 ", 28) + "\n" + repeat("     3 ", 19) + "\n" + "     3 " +
                         repeat("     0 ", 18) + "\n" + repeat("     5 ", 19) + "\n" +
                         "\n1 -1 -1\n";
  EXPECT_EQ(text, expected);
  d.hasSecond = false;
  EXPECT_NE(FormatTextDump(d).find(repeat("     0 ", 19) + "\n" + repeat("     0 ", 19)),
            std::string::npos);
}

std::string TxtLine(int base) {
  std::string line;
  for (int c = 0; c < 31; ++c) line += std::to_string(base + c) + "  ";
  return line;
}

TEST_F(PushFiles, TxtImportMapsColumnsAndSkipsBadLines) {
  std::string text = TxtLine(0) + "\r\n" + "\r\n" + "1 2 3\r\n" + TxtLine(100) + "   \r\n" + "x" +
                     TxtLine(0) + "\r\n";
  Spit(Host("logs/run_WLS.txt"), text);
  Push p;
  ASSERT_EQ(ImportLog(p, "c:\\Tacmon\\logs\\run_WLS.txt", 0), 0);
  EXPECT_EQ(p.sensorType, kSensorWireless);
  ASSERT_EQ(p.FrameCount(), 2);
  // Wireless: sensor 1 takes column 7 as 65535 - x.
  EXPECT_EQ(p.frames[0].values[0], 65535 - 7);
  EXPECT_EQ(p.frames[1].values[6], 65535 - 121);
  EXPECT_EQ(p.frames[0].aux[0], 0);
  EXPECT_EQ(p.frames[0].flags, 0);

  Spit(Host("logs/mobile.TXT"), TxtLine(0) + "\n");
  ASSERT_EQ(ImportLog(p, "c:\\Tacmon\\logs\\mobile.TXT", 0), 0);
  EXPECT_EQ(p.sensorType, kSensorMobile);
  EXPECT_EQ(p.frames[0].values[0], 16);  // mobile: sensor 1 takes column 16 as is
  EXPECT_EQ(p.frames[0].values[10], 1);

  std::string full;
  for (int c = 0; c < 31; ++c) full += "65535  ";
  Spit(Host("logs/a_wls.txt"), full + "\n");
  ASSERT_EQ(ImportLog(p, "c:\\Tacmon\\logs\\a_wls.txt", 0), 0);
  EXPECT_EQ(p.frames[0].values[5], 0);
  // The requested type wins over the name.
  ASSERT_EQ(ImportLog(p, "c:\\Tacmon\\logs\\a_wls.txt", 2), 0);
  EXPECT_EQ(p.sensorType, kSensorMobile);
  EXPECT_EQ(p.frames[0].values[5], 65535);
}

TEST_F(PushFiles, TrfImportAndRefusals) {
  std::string bytes;
  for (int r = 0; r < 2; ++r)
    for (int w = 0; w < 31; ++w) {
      uint16_t v = static_cast<uint16_t>(1000 * r + w);
      bytes.append(reinterpret_cast<const char*>(&v), 2);
    }
  bytes += "\x01\x02\x03"s;  // partial record
  Spit(Host("logs/probe.TRF"), bytes);
  Push p;
  ASSERT_EQ(ImportLog(p, "c:\\Tacmon\\logs\\probe.TRF", 1), 0);
  ASSERT_EQ(p.FrameCount(), 2);
  EXPECT_EQ(p.frames[1].values[0], 65535 - 1007);
  EXPECT_EQ(ImportLog(p, "c:\\Tacmon\\logs\\probe.dat", 0), -2);
  EXPECT_EQ(ImportLog(p, "c:\\Tacmon\\logs\\missing.trf", 0), -1);
  std::filesystem::create_directories(Host("logs/folder.txt"));
  EXPECT_EQ(ImportLog(p, "c:\\Tacmon\\logs\\folder.txt", 0), -1);
  EXPECT_EQ(ImportLog(p, "tx", 0), -2);
}

}  // namespace
