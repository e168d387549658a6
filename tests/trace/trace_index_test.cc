#include "mobrel/trace/trace_index.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

namespace mobrel {
namespace {

EventId add(EventStore& store, InputList inputs) {
  return store.insert(ContentPayload{}, std::move(inputs));
}

TEST(TraceIndexTest, SetReportsChangesAndRemovesOnEmpty) {
  TraceIndex trace;
  EXPECT_TRUE(trace.set(1, {}));  // no entry before: a change, though nothing is stored
  EXPECT_EQ(trace.find(1), nullptr);
  EXPECT_TRUE(trace.set(1, {"a"}));
  EXPECT_FALSE(trace.set(1, {"a"}));
  EXPECT_TRUE(trace.set(1, {"a", "b"}));
  EXPECT_TRUE(trace.set(1, {"c"}));  // same size, different label
  EXPECT_EQ(trace.trace_set(1), (LabelSet{"c"}));
  EXPECT_TRUE(trace.set(1, {}));
  EXPECT_EQ(trace.find(1), nullptr);
  EXPECT_FALSE(trace.is_traced_to(1, "c"));
}

TEST(TraceIndexTest, MergeIntoReportsGrowth) {
  TraceIndex trace;
  EXPECT_FALSE(trace.merge_into(4, {}));
  EXPECT_EQ(trace.find(4), nullptr);
  EXPECT_TRUE(trace.merge_into(4, {"external"}));
  EXPECT_FALSE(trace.merge_into(4, {"external"}));
  EXPECT_TRUE(trace.merge_into(4, {"external", "injected"}));
  EXPECT_TRUE(trace.is_traced_to(4, "injected"));
  EXPECT_FALSE(trace.is_traced_to(4, "Injected"));
  EXPECT_FALSE(trace.is_traced_to(99, "external"));
  EXPECT_TRUE(trace.trace_set(99).empty());
}

TEST(TraceIndexTest, PropagationPullsParentsAndReachesTwoLevels) {
  EventStore store;
  TraceIndex trace;
  add(store, {});      // 0
  add(store, {});      // 1
  add(store, {0, 1});  // 2
  add(store, {2});     // 3
  trace.set(0, {"external"});
  trace.set(1, {"local_sensitive"});
  trace.set(2, {"own"});
  trace.propagate_from(2, store);
  EXPECT_EQ(trace.trace_set(2), (LabelSet{"external", "local_sensitive", "own"}));
  EXPECT_EQ(trace.trace_set(3), trace.trace_set(2));  // pushed on to the dependent

  trace.merge_into(0, {"late"});
  trace.propagate_from(0, store);  // nothing new from 0's parents: no push
  EXPECT_FALSE(trace.is_traced_to(3, "late"));
  trace.settle(0, store);  // settling pushes 0's set to everything derived from it
  EXPECT_TRUE(trace.is_traced_to(2, "late"));
  EXPECT_TRUE(trace.is_traced_to(3, "late"));
  EXPECT_FALSE(trace.is_traced_to(1, "late"));
}

TEST(TraceIndexTest, PropagationEndsOnCycles) {
  EventStore store;
  TraceIndex trace;
  add(store, {2});  // 0 <- 2
  add(store, {0});  // 1 <- 0
  add(store, {1});  // 2 <- 1: a cycle 0 -> 1 -> 2 -> 0
  trace.propagate_from(0, store);  // no labels anywhere: must still end
  EXPECT_EQ(trace.find(0), nullptr);
  trace.merge_into(1, {"x"});
  trace.settle(1, store);
  for (EventId id : {0, 1, 2}) EXPECT_TRUE(trace.is_traced_to(id, "x")) << id;
}

TEST(TraceIndexTest, EventRecordedLaterReachesEventsThatNamedItEarlier) {
  EventStore store;
  TraceIndex trace;
  add(store, {2});  // 0 names id 2 before it exists
  add(store, {0});  // 1 derives from 0
  const EventId late = add(store, {});
  ASSERT_EQ(late, 2u);
  // The new event gets its own label; its parents bring nothing new, yet the label
  // must reach the events already derived from it.
  trace.merge_into(late, {"external"});
  trace.settle(late, store);
  EXPECT_TRUE(trace.is_traced_to(0, "external"));
  EXPECT_TRUE(trace.is_traced_to(1, "external"));
}

TEST(TraceIndexTest, LongChainsDoNotRecurse) {
  EventStore store;
  TraceIndex trace;
  add(store, {});
  for (EventId id = 1; id < 200000; ++id) add(store, {id - 1});
  trace.merge_into(0, {"deep"});
  trace.settle(0, store);
  EXPECT_TRUE(trace.is_traced_to(199999, "deep"));
}

// Random graphs, with repeated, missing and not-yet-recorded inputs, recorded and labelled the
// way the engine does it; afterwards every event must hold exactly its own labels together
// with those of all its ancestors, as a plain fixpoint over the edges computes them.
TEST(TraceIndexTest, MatchesAPlainFixpointOnRandomGraphs) {
  std::mt19937 random(7);
  for (int round = 0; round < 200; ++round) {
    EventStore store;
    TraceIndex trace;
    std::map<EventId, LabelSet> own;
    auto label = [&](EventId id) {
      const LabelSet labels{std::string(1, static_cast<char>('a' + random() % 4))};
      own[id].insert(labels.begin(), labels.end());
      trace.merge_into(id, labels);
      trace.settle(id, store);
    };
    const int events = 1 + static_cast<int>(random() % 40);
    for (int n = 0; n < events; ++n) {
      InputList inputs;
      if (random() % 2) {  // the whole session so far, as most events have it
        for (int i = 0; i < n; ++i) inputs.push_back(i);
      }
      for (int extra = static_cast<int>(random() % 3); extra > 0; --extra)
        inputs.push_back(random() % (events + 5));
      const EventId id = store.insert(ContentPayload{}, std::move(inputs));
      if (random() % 4 == 0) {
        label(id);
      } else {
        trace.settle(id, store);
      }
      if (random() % 6 == 0) label(random() % (events + 5));
    }
    std::map<EventId, LabelSet> expected = own;
    for (bool changed = true; changed;) {
      changed = false;
      store.for_each_edge([&](const Edge& edge) {
        if (!expected.contains(edge.from)) return;
        const LabelSet from = expected[edge.from];
        LabelSet& to = expected[edge.to];
        const std::size_t before = to.size();
        to.insert(from.begin(), from.end());
        changed |= to.size() > before;
      });
    }
    for (EventId id = 0; id < static_cast<EventId>(events + 5); ++id) {
      const LabelSet want = expected.contains(id) ? expected[id] : LabelSet{};
      ASSERT_EQ(trace.trace_set(id), want) << "round " << round << ", event " << id;
    }
  }
}

}  // namespace
}  // namespace mobrel
