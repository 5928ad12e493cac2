#pragma once
// TKVTaskList: the background tasks of the task status listing, one item per complete
// "Logical device Task:" block, in the order of the listing. Filled by ParseTasks.
// Values are the texts found, trimmed of blanks. Single-threaded.
#include <memory>
#include <string>
#include <vector>

namespace kv {

struct TKVTaskItem {
  std::string TaskId;
  std::string LogicalDevice;
  std::string CurrentOperation;
  std::string Status;
  std::string PercentageComplete;
};

class TKVTaskList {
 public:
  // Appends an item with empty strings and returns it.
  TKVTaskItem& Add() {
    items_.push_back(std::make_unique<TKVTaskItem>());
    return *items_.back();
  }
  int Count() const { return static_cast<int>(items_.size()); }
  // REQUIRES: 0 <= index < Count().
  TKVTaskItem& Item(int index) { return *items_[static_cast<size_t>(index)]; }
  const TKVTaskItem& Item(int index) const { return *items_[static_cast<size_t>(index)]; }
  void Clear() { items_.clear(); }

 private:
  std::vector<std::unique_ptr<TKVTaskItem>> items_;
};

}  // namespace kv
