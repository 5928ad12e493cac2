#pragma once
// Read access to the files embedded in the executable (templates, the SMART name table,
// images) by name alone, for callers that need no more of the store. Defined by the store
// (resource_store.cpp), which fills itself on first use.
//
// Any thread. The name is compared trimmed and ASCII lower-cased.
#include <string>

namespace kv {

// Replaces `bytes` with the file's content; false (and `bytes` untouched) when not stored.
bool ReadEmbeddedFile(const std::string& name, std::string& bytes);

}  // namespace kv
