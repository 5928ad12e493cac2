#pragma once
// The raw block lists: every pair of the configuration listing, per device block,
// uninterpreted. ParseConfig fills them; BuildResult reads them.
//
//   TKVEnclosureItem  Info (pairs of the block), StatusInfo (pairs after "Status of ..."), Number
//   TKVHDDItem        Info, Number
//   TKVLDItem         Info, Segments (pairs after "Logical device segment information"), Number
//   TKVZEPLDItem      Info, Segments, Number
//
// Number is the block's number text, lower-cased. The lists own their items; Add hands back
// a reference that stays valid until Clear or destruction. Single-threaded.
#include <memory>
#include <string>
#include <vector>

#include "base/text_case.h"
#include "model/kv_list.h"

namespace kv {

struct TKVEnclosureItem {
  TKVList Info;
  TKVList StatusInfo;
  std::string Number;
};

struct TKVHDDItem {
  TKVList Info;
  std::string Number;
};

struct TKVLDItem {
  TKVList Info;
  TKVList Segments;
  std::string Number;
};

struct TKVZEPLDItem {
  TKVList Info;
  TKVList Segments;
  std::string Number;
};

// The operations the four raw lists share.
template <typename TItem>
class TKVBlockList {
 public:
  // Appends a new item with empty inner lists and an empty Number.
  TItem& Add() {
    items_.push_back(std::make_unique<TItem>());
    return *items_.back();
  }
  int Count() const { return static_cast<int>(items_.size()); }
  // REQUIRES: 0 <= index < Count().
  TItem& Item(int index) { return *items_[static_cast<size_t>(index)]; }
  const TItem& Item(int index) const { return *items_[static_cast<size_t>(index)]; }
  // Zero-based index of the first item whose Number equals the lower-cased argument, or -1.
  int IndexOf(const std::string& number) const {
    const std::string low = LowerCaseAscii(number);
    for (size_t i = 0; i < items_.size(); ++i)
      if (items_[i]->Number == low) return static_cast<int>(i);
    return -1;
  }
  // Frees the items, last first.
  void Clear() {
    while (!items_.empty()) items_.pop_back();
  }
  ~TKVBlockList() { Clear(); }
  TKVBlockList() = default;
  TKVBlockList(const TKVBlockList&) = delete;
  TKVBlockList& operator=(const TKVBlockList&) = delete;

 private:
  std::vector<std::unique_ptr<TItem>> items_;
};

using TKVEnclosureList = TKVBlockList<TKVEnclosureItem>;
using TKVHDDList = TKVBlockList<TKVHDDItem>;
using TKVLDList = TKVBlockList<TKVLDItem>;
using TKVZEPLDList = TKVBlockList<TKVZEPLDItem>;

}  // namespace kv
