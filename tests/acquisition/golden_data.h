// The hand-built golden files of tests/data/acquisition, built in memory from their intended
// content. The generator program writes them; the golden test checks the checked-in bytes
// against these and the readers against the content.
#pragma once

#include <string>
#include <vector>

#include "acquisition/push.h"

struct GoldenFile {
  std::string name;   // file name in tests/data/acquisition
  std::string bytes;  // exact content
};

// The pushes the push files hold, as the passport-variant reader should decode them.
struct GoldenPush {
  std::string name;
  int version = 1006;
  bool passportBlock = false;
  int blockVersion = 0;
  Push push;  // values as stored (16-bit, sign-extended)
};

std::vector<GoldenPush> GoldenPushes();
// Every golden file: push files, their .csv expectations, the logs, the passports.
std::vector<GoldenFile> GoldenFiles();
// Expected CSV of a push (the format of "tacpush csv").
std::string ExpectedCsv(const Push& push);
