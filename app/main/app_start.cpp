#include "app_start.h"

#include <cstdio>

#include "app/log/message_log.h"
#include "platform/file.h"
#include "platform/paths.h"

StartValues& TheStartValues() {
  static StartValues v;
  return v;
}

Text1251 UsageText() {
  char buf[512];
  std::snprintf(buf, sizeof buf,
                "Call:\n%s \n   or in expert mode:\n%s /p /t /k\n"
                "   p - for extended main window\n"
                "   t - for extended receptor test window\n"
                "   k - for output data for mechanic receptor test device (into message window)\n",
                kCallName, kCallName);
  return buf;
}

void CMyCommandLineInfo::ParseParam(std::string_view param, bool isFlag, bool /*last*/) {
  if (!isFlag) return;
  // Quotes around the whole switch go; a lone quote is its own first and last character
  // and is left alone rather than cut to a negative length.
  if (param.size() >= 2 && param.front() == '"' && param.back() == '"')
    param = param.substr(1, param.size() - 2);
  if (param.empty()) return;
  const char c = param[0];
  const size_t n = param.size();
  if ((c == '?' && n == 1) || c == 'h' || c == 'H') {
    if (showUsage_) showUsage_();
    values_.usageShown = true;
  } else if ((c == 'p' && n == 1) || c == 'P') {
    values_.extendedMainWindow = true;
  } else if ((c == 't' && n == 1) || c == 'T') {
    values_.extendedTestWindow = true;
  } else if ((c == 'k' && n == 1) || c == 'K') {
    values_.testerMessages = true;
  }
}

void CMyCommandLineInfo::ParseCommandLine(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    std::string_view a = argv[i] ? argv[i] : "";
    bool isFlag = !a.empty() && (a[0] == '/' || a[0] == '-');
    ParseParam(isFlag ? a.substr(1) : a, isFlag, i == argc - 1);
  }
}

void CreateDatabaseFolders() {
  const Text1251 db = winpath::kDatabaseRoot;
  fsw::MakeDirectories(db);
  for (const char* sub : {"DB", "DB_doc", "DB_op", "DB_push"}) fsw::MakeDirectory(db + sub);
}

void CreateDataTree() {
  const Text1251 root = winpath::kDataRoot;
  fsw::MakeDirectories(root);
  fsw::MakeDirectories(winpath::kDatabaseRoot);
  for (const char* sub : {"ArchiveDB", "Logs", "DB", "OPERATIONS", "ENUMS", "DVP", "ENUMS\\ORGAN"})
    fsw::MakeDirectory(root + sub);
}

int WriteDefaultEnumerations() {
  const Text1251 folder = std::string(winpath::kDataRoot) + "ENUMS\\ORGAN\\";
  if (fsw::FileExists(folder + "organs.txt")) return 0;
  struct Default {
    const char* name;
    const char* text;
  };
  static const Default kFiles[] = {
      {"organs.txt", "1 org1\n2 org2\n3 organ3\n4 organ4\n5 other\n"},
      {"1.txt", "other\norg1-d1\norg1-d2\norg1-d3\norg1-d4\norg1-d5\n"},
      {"2.txt", "other\norg2-d1\norg2-d2\norg2-d3\n"},
      {"3.txt", "other\norg3-d1\norg3-d2\norg3-d3\norg3-d4\norg3-d5\norg3-d6\norg3-d7\norg3-d8\n"},
      {"4.txt",
       "other\norg4-d1\norg4-d2\norg4-d3\norg4-d4\norg4-d5\norg_4-d1\norg_4-d2\norg_4-d3\n"
       "org_4-d4\norg_4-d5\n"},
      {"5.txt", "other\norg5-d1\norg5-d2\norg5-d3\norg5-d4\norg5-d5\norg5-d6\norg5-d7\n"},
  };
  int written = 0;
  for (const auto& f : kFiles) {
    SafeFile out(folder + f.name, "wt");  // text mode: CR LF on disk
    if (!out.IsOpen()) continue;          // skipped without a message
    out.Puts(f.text);
    if (out.Commit() == 0) ++written;
  }
  return written;
}

int PrepareDataDirectories() {
  CreateDataTree();
  WriteDefaultEnumerations();
  StartValues& v = TheStartValues();
  v.logFilePath = std::string(winpath::kDataRoot) + "Logs\\LogFile2.log";
  StartMessageLog(v.logFilePath.c_str());
  return 1;
}
