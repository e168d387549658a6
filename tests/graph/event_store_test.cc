#include "mobrel/graph/event_store.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace mobrel {
namespace {

using Ids = std::vector<EventId>;

EventStore fixed_clock_store() {
  return EventStore([] { return std::uint64_t{1000}; });
}

EventId add(EventStore& store, InputList inputs) {
  return store.insert(ContentPayload{}, std::move(inputs));
}

TEST(InputListTest, KeepsOrderRepeatsAndIdsAfterTheRun) {
  InputList list{0, 1, 2, 7, 1, 3};
  EXPECT_EQ(list.to_vector(), (Ids{0, 1, 2, 7, 1, 3}));
  EXPECT_EQ(list.size(), 6u);
  EXPECT_EQ(list.count(1), 2u);
  EXPECT_EQ(list.count(7), 1u);
  EXPECT_EQ(list.count(4), 0u);
  EXPECT_EQ((InputList{5, 0}).to_vector(), (Ids{5, 0}));
  EXPECT_TRUE(InputList{}.empty());
}

TEST(EventStoreTest, IdsArePositionsAndRecordsKeepTheirFields) {
  EventStore store = fixed_clock_store();
  EXPECT_EQ(add(store, {}), 0u);
  EXPECT_EQ(add(store, {0}), 1u);
  const EventRecord* record = store.find(1);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->id, 1u);
  EXPECT_EQ(record->version, 1u);
  EXPECT_EQ(record->timestamp_ms, 1000u);
  EXPECT_EQ(record->inputs.to_vector(), Ids{0});
  EXPECT_EQ(record->integrity, compute_integrity(1, 1, 1000, ContentPayload{},
                                                 std::span(&store.find(0)->integrity, 1)));
  EXPECT_EQ(store.find(2), nullptr);
}

TEST(EventStoreTest, MissingInputsAreRecordedButNotHashed) {
  EventStore store = fixed_clock_store();
  for (int i = 0; i < 5; ++i) add(store, {});
  const EventId with_missing = add(store, {99});
  EXPECT_EQ(store.find(with_missing)->inputs.to_vector(), Ids{99});
  EXPECT_EQ(store.find(with_missing)->integrity,
            compute_integrity(with_missing, 1, 1000, ContentPayload{}, {}));
  std::vector<Edge> edges;
  store.for_each_edge([&](const Edge& edge) { edges.push_back(edge); });
  ASSERT_EQ(edges.size(), 1u);
  EXPECT_EQ(edges[0].from, 99u);
  EXPECT_EQ(edges[0].to, with_missing);
}

TEST(EventStoreTest, InputNamedTwiceIsHashedTwice) {
  EventStore store = fixed_clock_store();
  add(store, {});
  const EventId twice = add(store, {0, 0});
  const Digest first = store.find(0)->integrity;
  const Digest both[] = {first, first};
  EXPECT_EQ(store.find(twice)->integrity, compute_integrity(twice, 1, 1000, ContentPayload{}, both));
}

TEST(EventStoreTest, CausalChains) {
  EventStore store = fixed_clock_store();
  add(store, {});        // 0
  add(store, {});        // 1
  add(store, {0, 1});    // 2
  add(store, {2, 0});    // 3: inputs out of ascending order
  add(store, {99});      // 4: missing input
  add(store, {4, 3});    // 5
  EXPECT_EQ(store.causal_chain(0), Ids{});
  EXPECT_EQ(store.causal_chain(2), (Ids{0, 1}));
  EXPECT_EQ(store.causal_chain(3), (Ids{0, 1, 2}));
  EXPECT_EQ(store.causal_chain(4), Ids{99});
  EXPECT_EQ(store.causal_chain(5), (Ids{0, 1, 2, 3, 4, 99}));
  EXPECT_EQ(store.causal_chain(42), Ids{});
}

TEST(EventStoreTest, CausalChainEndsOnCycles) {
  EventStore store = fixed_clock_store();
  add(store, {1});  // 0 names the later event 1
  add(store, {0});  // 1
  EXPECT_EQ(store.causal_chain(1), Ids{0});
  EXPECT_EQ(store.causal_chain(0), Ids{1});
}

TEST(EventStoreTest, ParentsAndChildrenFollowTheInputs) {
  EventStore store = fixed_clock_store();
  add(store, {});         // 0
  add(store, {0});        // 1
  add(store, {0, 1, 0});  // 2
  Ids parents, children;
  store.for_each_parent(2, [&](EventId id) { parents.push_back(id); });
  store.for_each_child(0, [&](EventId id) { children.push_back(id); });
  std::sort(children.begin(), children.end());
  EXPECT_EQ(parents, (Ids{0, 1, 0}));
  EXPECT_EQ(children, (Ids{1, 2, 2}));
}

TEST(EventStoreTest, WallClockStampsMilliseconds) {
  EventStore store;
  const std::uint64_t before = wall_clock_ms();
  add(store, {});
  const std::uint64_t after = wall_clock_ms();
  EXPECT_GE(store.find(0)->timestamp_ms, before);
  EXPECT_LE(store.find(0)->timestamp_ms, after);
  EXPECT_GT(before, 1600000000000u);  // a plausible present, in milliseconds
}

}  // namespace
}  // namespace mobrel
