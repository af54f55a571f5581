#include "engine/resolver_cache.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/fakes.h"

namespace corvane {
namespace {

using test::FakeClock;
using test::FakeLookup;

class ResolverCacheTest : public ::testing::Test {
 protected:
  FakeClock clock_;
  FakeLookup lookup_;
  ResolverCache cache_{clock_, lookup_.Function()};
};

TEST_F(ResolverCacheTest, AnAnswerLives300000MillisecondsAndIsAskedAgainAfter) {
  lookup_.Answer("printer", "192.168.1.20", "fe80::1");
  const ResolvedHost& first = cache_.ResolveHost("printer");
  EXPECT_TRUE(first.Addresses.has_ipv4 && first.Addresses.has_ipv6);
  EXPECT_EQ(first.Addresses.ipv4, (std::array<std::uint8_t, 4>{192, 168, 1, 20}));
  EXPECT_EQ(first.Addresses.ipv6_scope, 7u);
  EXPECT_EQ(first.Stamp, 1000u);

  clock_.Advance(300000);
  cache_.ResolveHost("printer");
  EXPECT_EQ(lookup_.questions("printer"), 1);
  clock_.Advance(1);  // age 300001
  EXPECT_EQ(cache_.ResolveHost("printer").Stamp, 301001u);
  EXPECT_EQ(lookup_.questions("printer"), 2);
  EXPECT_EQ(cache_.size(), 1u);
}

TEST_F(ResolverCacheTest, TheKeyIsCaseSensitive) {
  lookup_.Answer("HOST", "10.0.0.1");
  lookup_.Answer("host", "10.0.0.2");
  EXPECT_EQ(cache_.ResolveHost("HOST").Addresses.ipv4[3], 1);
  EXPECT_EQ(cache_.ResolveHost("host").Addresses.ipv4[3], 2);
  EXPECT_EQ(cache_.size(), 2u);
}

TEST_F(ResolverCacheTest, AFailedAnswerIsKeptLikeAnyOther) {
  const ResolvedHost& failed = cache_.ResolveHost("later.example");
  EXPECT_FALSE(failed.Addresses.has_ipv4 || failed.Addresses.has_ipv6);
  lookup_.Answer("later.example", "10.1.1.1");  // resolvable from now on
  clock_.Advance(300000);
  EXPECT_FALSE(cache_.ResolveHost("later.example").Addresses.has_ipv4);
  clock_.Advance(1);
  EXPECT_TRUE(cache_.ResolveHost("later.example").Addresses.has_ipv4);
  EXPECT_EQ(lookup_.questions("later.example"), 2);
}

TEST_F(ResolverCacheTest, The1001stNameIsAnsweredButNotKeptUntilRoomIsMade) {
  for (int i = 0; i < 1000; ++i) {
    lookup_.Answer("h" + std::to_string(i), "10.0.0.1");
    cache_.ResolveHost("h" + std::to_string(i));
    clock_.Advance(100);  // stamps 1000, 1100, ...
  }
  lookup_.Answer("extra", "10.9.9.9");
  EXPECT_EQ(cache_.ResolveHost("extra").Addresses.ipv4[3], 9);
  EXPECT_EQ(cache_.size(), 1000u);
  cache_.ResolveHost("extra");
  EXPECT_EQ(lookup_.questions("extra"), 2);

  // Now 100000 ms after the first stamp; move on until the first 10 entries are 300001 old.
  clock_.Set(1000 + 900 + 300001);
  cache_.ResolveHost("extra");
  EXPECT_EQ(cache_.size(), 991u);  // ten dropped, "extra" taken in
  cache_.ResolveHost("extra");
  EXPECT_EQ(lookup_.questions("extra"), 3);
  cache_.ResolveHost("h10");
  EXPECT_EQ(lookup_.questions("h10"), 1);
  cache_.ResolveHost("h9");
  EXPECT_EQ(lookup_.questions("h9"), 2);
}

TEST_F(ResolverCacheTest, AStampTakenJustBeforeTheWrapAgesAcrossIt) {
  clock_.Set(0xFFFFFFFFu - 100);
  lookup_.Answer("wrap", "10.0.0.3");
  cache_.ResolveHost("wrap");
  // The age after the wrap is now + (0xFFFFFFFF - stamp) = now + 100.
  clock_.Set(300000 - 100);
  cache_.ResolveHost("wrap");
  EXPECT_EQ(lookup_.questions("wrap"), 1);
  clock_.Set(300001 - 100);
  cache_.ResolveHost("wrap");
  EXPECT_EQ(lookup_.questions("wrap"), 2);
}

TEST_F(ResolverCacheTest, EntriesExpireWhereverTheyStand) {
  // A clock that jumps back leaves old stamps behind newer ones; the walk checks every entry.
  lookup_.Answer("a", "10.0.0.1");
  lookup_.Answer("b", "10.0.0.2");
  lookup_.Answer("c", "10.0.0.3");
  clock_.Set(500000);
  cache_.ResolveHost("a");
  clock_.Set(100000);  // "a" is now 4294567295 ms old: it goes at the next walk
  cache_.ResolveHost("b");
  EXPECT_EQ(cache_.size(), 1u);
  clock_.Set(100000 + 300001);
  cache_.ResolveHost("c");
  EXPECT_EQ(cache_.size(), 1u);
  cache_.ResolveHost("c");
  EXPECT_EQ(lookup_.questions("c"), 1);
}

TEST_F(ResolverCacheTest, AMemoIsOnlyUsedWhileTheCacheIsUnchanged) {
  lookup_.Answer("a", "10.0.0.1");
  lookup_.Answer("b", "10.0.0.2");
  ResolverCache::Memo memo_a, memo_b;
  EXPECT_EQ(cache_.ResolveHost("a", &memo_a).Addresses.ipv4[3], 1);
  EXPECT_EQ(cache_.ResolveHost("b", &memo_b).Addresses.ipv4[3], 2);
  EXPECT_EQ(cache_.ResolveHost("a", &memo_a).Addresses.ipv4[3], 1);  // memo_a is stale: searched
  EXPECT_EQ(cache_.ResolveHost("a", &memo_a).Addresses.ipv4[3], 1);  // now current
  EXPECT_EQ(cache_.ResolveHost(std::string("b"), &memo_a).Addresses.ipv4[3],
            2);  // nor for another text
  clock_.Advance(300001);
  EXPECT_EQ(cache_.ResolveHost("a", &memo_a).Addresses.ipv4[3], 1);
  EXPECT_EQ(lookup_.questions("a"), 2);
}

TEST_F(ResolverCacheTest, GarbageTextsAreCachedAsFailures) {
  const std::string texts[] = {"", " ", "!!!", std::string(96, '9'), std::string("a\0b", 3)};
  for (const std::string& text : texts) {
    const ResolvedHost& answer = cache_.ResolveHost(text);
    EXPECT_FALSE(answer.Addresses.has_ipv4 || answer.Addresses.has_ipv6);
    cache_.ResolveHost(text);
    EXPECT_EQ(lookup_.questions(text), 1);
  }
}

}  // namespace
}  // namespace corvane
