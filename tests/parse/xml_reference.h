#pragma once
// A literal, unoptimised rendering of the XML-to-lines routines and of the SMART and
// statistics parsers, step by step as they were first written: every rewrite searches the
// text from the start again. Slow (quadratic in the number of elements) but easy to check
// by reading; the production code in src/parse is compared against it.
#include <string>
#include <vector>

#include "model/kv_core.h"

namespace kv::ref {

size_t PosFrom(const std::string& sub, const std::string& s, size_t from);
std::string ReplaceAll(const std::string& s, const std::string& old_text,
                       const std::string& new_text);
std::string FormatIndex2(long long n);
void NumberElements(const std::string& text, const std::string& name, int& count,
                    std::string& result);
void NumberSelfClosing(const std::string& text, const std::string& name, int& count,
                       std::string& result);
void NumberAttributeTags(std::string& text, int& counter);
std::string ExtractElement(const std::string& text, const std::string& name, long long n);
void ElementAttributesToLines(const std::string& element, const std::string& name,
                              std::vector<std::string>& lines);
void ChildElementNames(const std::string& text, std::vector<std::string>& names);
std::string PairSelfClosing(const std::string& text, const std::string& name);
std::string SelfCloseEmptyPairs(const std::string& text, const std::string& name);

// The parsers, filling the same model containers as ParseSmart, ParseLogStats and
// ParseCacheStats of parse/.
void ParseSmart(TKVCore& core, const std::string& text);
void ParseLogStats(TKVCore& core, const std::string& text);
void ParseCacheStats(TKVCore& core, const std::string& text);

// Every SMART and statistics field of `core` as text, one line per record, for comparing
// two models.
std::string DumpParsed(const TKVCore& core);

}  // namespace kv::ref
