// The two-slot hand-over between the reading thread and the window.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "acquisition/link/com_read_thread.h"

namespace {

PacketImage ImageWith(int16_t w0) {
  PacketImage p;
  p.words[0] = w0;
  return p;
}

TEST(ImageRing, KeepsTheTwoNewestImagesInOrderAndCountsDrops) {
  auto window = std::make_shared<MessageQueueTarget>();
  WindowHandle h = RegisterWindow(window);
  ImageRing ring;
  PacketImage out;
  int32_t index = -1;
  EXPECT_FALSE(TakeImage(ring, out, index));

  // One put, one take: the same image, and 1037 told the window.
  PutImage(ring, ImageWith(1), 10, nullptr, h);
  ThreadMessage m;
  ASSERT_TRUE(window->queue.Get(m, 0));
  EXPECT_EQ(m.message, 1037u);
  ASSERT_TRUE(TakeImage(ring, out, index));
  EXPECT_EQ(index, 10);
  EXPECT_EQ(out.words[0], 1);
  EXPECT_FALSE(TakeImage(ring, out, index));

  // A late window: of three images the oldest is dropped, the newest is never lost.
  PutImage(ring, ImageWith(2), 11, nullptr, h);
  PutImage(ring, ImageWith(3), 12, nullptr, h);
  PutImage(ring, ImageWith(4), 13, nullptr, h);
  std::vector<int32_t> got;
  while (TakeImage(ring, out, index)) got.push_back(index);
  EXPECT_EQ(got, (std::vector<int32_t>{13}));
  EXPECT_EQ(ring.puts, 4u);
  EXPECT_EQ(ring.drops, 2u);
  UnregisterWindow(h);
  // A window that has gone is not posted to, and the ring goes on working.
  PutImage(ring, ImageWith(5), 14, nullptr, h);
  EXPECT_TRUE(TakeImage(ring, out, index));
}

TEST(ImageRing, SecondImageIsOneCopyLatestWins) {
  ImageRing ring;
  PutImage(ring, ImageWith(1), 0, nullptr, 0);
  PacketImage second = ImageWith(7);
  PutImage(ring, ImageWith(2), 1, &second, 0);
  second.words[0] = 8;
  PutImage(ring, ImageWith(3), 2, &second, 0);
  PacketImage out, outSecond;
  int32_t index = 0;
  ASSERT_TRUE(TakeImage(ring, out, index, &outSecond));
  EXPECT_EQ(outSecond.words[0], 8);
}

TEST(LinkSettings, TwoProbesOnlyWithConnect2AndNoAutoconnectAndPeriodInMs) {
  LinkSettings s;
  s.connect2 = 1;
  s.autoconnect = 1;
  EXPECT_FALSE(s.TwoReceptors());
  s.autoconnect = 0;
  EXPECT_TRUE(s.TwoReceptors());
  EXPECT_EQ(s.PeriodMs(), 50);
  // Whole milliseconds, at least 1 and at most 10 minutes, whatever the setting holds; periods
  // whose milliseconds overflow an int are bounded too.
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    double seconds;
    int ms;
  } cases[] = {{0.0333, 33},  {0.0335, 34},   {0, 1},        {-5, 1},
               {-inf, 1},     {NAN, 1},       {600, 600000}, {600.0004, 600000},
               {3e6, 600000}, {1e12, 600000}, {inf, 600000}};
  for (const auto& c : cases) {
    s.displayPeriod = c.seconds;
    EXPECT_EQ(s.PeriodMs(), c.ms) << c.seconds;
  }
}

}  // namespace
