#pragma once
// The embedded resource store: every file the program needs besides its configuration
// (page templates, the SMART attribute-name table, images, the favicon) travels inside
// the executable as a container (see resource_container.h). LoadEmbeddedResources unpacks
// all of them into memory once; afterwards the store is read-only.
//
// Look-ups go by file name, trimmed and ASCII lower-cased: IndexOf(" LOGO.PNG ") finds
// "logo.png". Callers call IndexOf and hand its result to GetData; the two calls are not
// one atomic step, which is harmless because the list never changes after loading.
//
// Threads: any thread may call IndexOf, GetData and Count; they serialise on the store's
// own lock, held only for the look-up or the copy and never while another lock is taken.
// Load/AddContainer are for filling a list before it is shared.
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace kv {

// One unpacked file: its lower-case name and its bytes.
struct TMFelement {
  std::string Name;
  std::string Data;
};

class TMFileList {
 public:
  TMFileList() = default;
  TMFileList(const TMFileList&) = delete;
  TMFileList& operator=(const TMFileList&) = delete;

  // Unpacks one container and appends its entry. Returns false (and adds nothing) for
  // 276 bytes or fewer, a wrong magic, or a body that does not inflate.
  bool AddContainer(std::string_view container);

  // Position of the first entry whose name equals `name` trimmed and lower-cased; -1 when absent.
  int IndexOf(const std::string& name) const;

  // Replaces `target` with the bytes of entry `index`. Returns false and leaves `target`
  // untouched when the index is out of range.
  bool GetData(int index, std::string& target) const;

  int Count() const;

  // Name of entry `index` (empty when out of range); for listings and tests.
  std::string NameAt(int index) const;

  // Convenience for IndexOf + GetData; false when the name is not stored.
  bool Find(const std::string& name, std::string& target) const;

 private:
  mutable std::mutex lock_;
  std::vector<TMFelement> entries_;
};

// Fills `store` with the program's own embedded resources. The service fills one store at
// start and hands it to the collection and the listener; tests fill their own.
void LoadEmbeddedResources(TMFileList& store);

}  // namespace kv
