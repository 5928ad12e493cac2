#include "resources/resource_store.h"

#include "base/text_case.h"
#include "platform/runtime_resources.h"
#include "resources/resource_container.h"

namespace kv {
namespace {

std::string TrimmedLower(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return LowerCaseAscii(s.substr(b, e - b));
}

}  // namespace

bool TMFileList::AddContainer(std::string_view container) {
  TMFelement entry;
  if (!OpenContainer(container, entry.Name, entry.Data)) return false;
  std::lock_guard<std::mutex> guard(lock_);
  entries_.push_back(std::move(entry));
  return true;
}

int TMFileList::IndexOf(const std::string& name) const {
  const std::string wanted = TrimmedLower(name);
  std::lock_guard<std::mutex> guard(lock_);
  for (std::size_t i = 0; i < entries_.size(); ++i)
    if (entries_[i].Name == wanted) return static_cast<int>(i);
  return -1;
}

bool TMFileList::GetData(int index, std::string& target) const {
  std::lock_guard<std::mutex> guard(lock_);
  if (index < 0 || static_cast<std::size_t>(index) >= entries_.size()) return false;
  target.assign(entries_[static_cast<std::size_t>(index)].Data);
  return true;
}

int TMFileList::Count() const {
  std::lock_guard<std::mutex> guard(lock_);
  return static_cast<int>(entries_.size());
}

std::string TMFileList::NameAt(int index) const {
  std::lock_guard<std::mutex> guard(lock_);
  if (index < 0 || static_cast<std::size_t>(index) >= entries_.size()) return {};
  return entries_[static_cast<std::size_t>(index)].Name;
}

bool TMFileList::Find(const std::string& name, std::string& target) const {
  return GetData(IndexOf(name), target);
}

void LoadEmbeddedResources(TMFileList& store) {
  try {
    for (const auto& resource : platform::EnumerateRuntimeResources()) store.AddContainer(resource.bytes);
  } catch (...) {
    // A resource that cannot be read leaves the store without it; nothing is logged.
  }
}

}  // namespace kv
