#pragma once
// The one-line description of the operating system for the "OS: " start-up line.
//
// TOSInfo turns the Windows facts (platform id, version, service pack, suite mask,
// product type and info, processor, system metrics, two registry values) into
// "Windows 7 Professional Edition (64-bit) Service Pack 1 (Build 7601)" by fixed product
// tables; it is pure, so every rule runs on any platform. Rules that cannot be applied
// raise ESysInfo. OperatingSystemDescription() is what the start-up line shows on the
// running system: the Windows description, or "PRETTY_NAME kernel-release" on Linux,
// "unknow" when nothing could be described.
#include <cstdint>
#include <stdexcept>
#include <string>

#include "platform/os_facts.h"

namespace kv {

class ESysInfo : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TOSInfo {
 public:
  explicit TOSInfo(const platform::WindowsFacts& facts) : f_(facts) {}

  // Product code 0..16 (see ProductName); raises for an unknown platform id.
  int Product() const;
  // Raises for a code outside the table.
  static std::string ProductName(int code, uint32_t major, uint32_t minor);
  bool IsServer() const;
  std::string Edition() const;
  std::string ServicePack() const;
  // Builds into `text` step by step, so that on ESysInfo it holds what was built.
  void Describe(std::string& text) const;

 private:
  std::string ProductTypeRegistry() const;
  const platform::WindowsFacts& f_;
};

// Name for a GetProductInfo value, "" when it is not in the table.
std::string ProductInfoName(uint32_t product_info);

// "unknow" when the product name cannot be made, else as much as was built.
std::string DescribeWindows(const platform::WindowsFacts& facts);
std::string DescribeOs(const platform::OsFacts& facts);
std::string OperatingSystemDescription();

}  // namespace kv
