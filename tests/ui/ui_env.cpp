#include "tests/ui/ui_env.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

class UiEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    unsetenv("TACMON_SCRIPT");
    app_ = std::make_unique<ui::Application>(argc_, argv_);
  }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[16] = "ui_test";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<ui::Application> app_;
};

[[maybe_unused]] auto* const g_env = ::testing::AddGlobalTestEnvironment(new UiEnvironment);

}  // namespace
