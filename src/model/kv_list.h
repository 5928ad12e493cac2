#pragma once
// TKVList and TIntList: the ordered pair lists the model is built from.
//
// TKVList keeps the key/value pairs of one block of the configuration listing exactly as
// they arrived (no duplicate check). TIntList keeps integer pairs: (drive index, 0) for the
// members of a logical device, (drive index, slot) for the drives of an enclosure.
// A drive index is the zero-based position of the drive in TKVResult::HDDs.
//
// Both lists own their items; indexes are zero-based and insertion order is kept.
// Not thread-safe: a model belongs to the one thread running the collection cycle.
#include <cstdint>
#include <string>
#include <vector>

namespace kv {

// The model's string list (key + ": " + value lines, segment values, ...).
using TStringList = std::vector<std::string>;

struct TKVItem {
  std::string Key;
  std::string Value;
};

class TKVList {
 public:
  void Add(const std::string& key, const std::string& value) { items_.push_back({key, value}); }
  int Count() const { return static_cast<int>(items_.size()); }
  // REQUIRES: 0 <= index < Count().
  const TKVItem& Item(int index) const { return items_[static_cast<size_t>(index)]; }
  void Clear() { items_.clear(); }

  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

 private:
  std::vector<TKVItem> items_;
};

struct TIntPair {
  int32_t Key = 0;
  int32_t Value = 0;
};

class TIntList {
 public:
  void Add(int32_t key, int32_t value) { items_.push_back({key, value}); }
  int Count() const { return static_cast<int>(items_.size()); }
  // REQUIRES: 0 <= index < Count().
  const TIntPair& Item(int index) const { return items_[static_cast<size_t>(index)]; }
  void Clear() { items_.clear(); }

  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

 private:
  std::vector<TIntPair> items_;
};

}  // namespace kv
