// The base facts of a Datalog judgment: the provenance graph and the call, as tuples.
#include "policy/datalog_detail.h"

namespace mobrel::detail {

FactBase build_base_facts(const DatalogBuiltins& builtins) {
  FactBase facts;
  // Entered up front so that each predicate exists even when nothing fills it.
  FactSet& event = facts["event"];
  FactSet& dataflow = facts["dataflow"];
  FactSet& traced = facts["traced"];
  FactSet& tool_call = facts["tool_call"];
  FactSet& tool_id = facts["tool_id"];
  FactSet& param = facts["param"];

  const EventStore& store = builtins.store;
  for (EventId id = 0; id < store.size(); ++id) {
    if (store.find(id) != nullptr) event.insert({Value::Id(id)});
  }
  store.for_each_edge([&](const Edge& edge) {
    if (edge.kind == EdgeKind::DataFlow)
      dataflow.insert({Value::Id(edge.from), Value::Id(edge.to)});
  });
  for (EventId id = 0; id < store.size(); ++id) {
    if (store.find(id) == nullptr) continue;
    const LabelSet* labels = builtins.trace.find(id);
    if (labels == nullptr) continue;
    for (const std::string& label : *labels) traced.insert({Value::Id(id), Value::Text(label)});
  }

  const Value call = Value::Id(builtins.call_event);
  tool_call.insert({call});
  tool_id.insert({call, Value::Text(std::string(builtins.tool))});
  for (const auto& [key, value] : builtins.params) {
    param.insert({call, Value::Text(key), Value::Text(value)});
  }
  return facts;
}

}  // namespace mobrel::detail
