// Linked into every test program: the environment a test run needs when ctest, an IDE or a
// developer starts the program directly. Values already set are kept.
#include <cstdlib>
#include <filesystem>

namespace {

struct TestEnvironment {
  TestEnvironment() {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::setenv("TACMON_BIN", TACMON_BIN_DIR, 0);
    std::error_code ec;
    std::filesystem::create_directories(TACMON_XDG_DIR, ec);
    ::setenv("XDG_RUNTIME_DIR", TACMON_XDG_DIR, 0);
  }
} g_testEnvironment;

}  // namespace
