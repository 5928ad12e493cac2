#include "resources/resource_container.h"

#include <zlib.h>

#include <cstring>

namespace kv {
namespace {

constexpr char kMagic[4] = {'M', 'F', 'x', 'P'};
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

uint32_t ReadLe32(std::string_view bytes, std::size_t offset) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(bytes[offset + i]);
  return v;
}

void WriteLe32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::string ScrambleName(std::string_view plain, TNameScrambleKey k) {
  std::string out;
  out.reserve(plain.size());
  uint32_t key = k.key;
  for (char c : plain) {
    auto scrambled = static_cast<unsigned char>(static_cast<unsigned char>(c) ^ ((key >> 8) & 0xFF));
    out.push_back(static_cast<char>(scrambled));
    key = (key + scrambled) * k.multiplier + k.addend;
  }
  return out;
}

std::string UnscrambleName(std::string_view scrambled, TNameScrambleKey k) {
  std::string out;
  out.reserve(scrambled.size());
  uint32_t key = k.key;
  for (char c : scrambled) {
    auto byte = static_cast<unsigned char>(c);
    out.push_back(static_cast<char>(byte ^ ((key >> 8) & 0xFF)));
    key = (key + byte) * k.multiplier + k.addend;
  }
  return out;
}

std::string Base64Encode(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    uint32_t v = (static_cast<unsigned char>(bytes[i]) << 16) |
                 (static_cast<unsigned char>(bytes[i + 1]) << 8) | static_cast<unsigned char>(bytes[i + 2]);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  std::size_t rest = bytes.size() - i;
  if (rest > 0) {
    uint32_t v = static_cast<unsigned char>(bytes[i]) << 16;
    if (rest == 2) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

std::string Base64Decode(std::string_view text) {
  std::string out;
  uint32_t acc = 0;
  int bits = 0;
  for (char c : text) {
    if (c == '=') break;
    int v = Base64Value(c);
    if (v < 0) continue;
    acc = (acc << 6) | static_cast<uint32_t>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<char>((acc >> bits) & 0xFF));
    }
  }
  return out;
}

std::string ZlibCompress(std::string_view bytes) {
  uLongf size = compressBound(static_cast<uLong>(bytes.size()));
  std::string out(size, '\0');
  if (compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(bytes.data()),
                static_cast<uLong>(bytes.size()), Z_BEST_COMPRESSION) != Z_OK) {
    return {};
  }
  out.resize(size);
  return out;
}

bool ZlibInflate(std::string_view stream, std::string& out, std::size_t limit) {
  z_stream zs{};
  if (inflateInit(&zs) != Z_OK) return false;
  std::string result;
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data()));
  zs.avail_in = static_cast<uInt>(stream.size());
  char chunk[16384];
  int rc = Z_OK;
  while (rc == Z_OK) {
    zs.next_out = reinterpret_cast<Bytef*>(chunk);
    zs.avail_out = sizeof chunk;
    rc = inflate(&zs, Z_NO_FLUSH);
    if (rc != Z_OK && rc != Z_STREAM_END) break;
    std::size_t produced = sizeof chunk - zs.avail_out;
    if (result.size() + produced > limit) {
      rc = Z_MEM_ERROR;
      break;
    }
    result.append(chunk, produced);
    // Input exhausted before the end of the stream: truncated.
    if (rc == Z_OK && zs.avail_in == 0 && produced == 0) {
      rc = Z_DATA_ERROR;
      break;
    }
  }
  bool ok = rc == Z_STREAM_END && zs.avail_in == 0;
  inflateEnd(&zs);
  if (ok) out = std::move(result);
  return ok;
}

std::string BuildContainer(std::string_view name, std::string_view body, bool compress,
                           TNameScrambleKey k) {
  std::string encoded = Base64Encode(ScrambleName(name, k));
  if (encoded.size() > kContainerNameFieldSize - 1) return {};
  std::string packed;
  if (compress) {
    packed = ZlibCompress(body);
    if (packed.empty()) return {};
  }
  std::string out(kMagic, sizeof kMagic);
  out.push_back(compress ? '\1' : '\0');
  out.append(3, '\0');
  WriteLe32(out, k.key);
  WriteLe32(out, k.multiplier);
  WriteLe32(out, k.addend);
  out.push_back(static_cast<char>(encoded.size()));
  out += encoded;
  out.append(kContainerNameFieldSize - 1 - encoded.size(), '\0');
  out += compress ? std::string_view(packed) : body;
  return out;
}

bool OpenContainer(std::string_view container, std::string& name, std::string& body) {
  if (container.size() <= kContainerHeaderSize) return false;
  if (std::memcmp(container.data(), kMagic, sizeof kMagic) != 0) return false;
  const bool compressed = container[4] != 0;
  TNameScrambleKey k{ReadLe32(container, 8), ReadLe32(container, 12), ReadLe32(container, 16)};
  std::size_t length = static_cast<unsigned char>(container[kContainerNameOffset]);
  std::string_view encoded = container.substr(kContainerNameOffset + 1, length);
  std::string_view stored = container.substr(kContainerHeaderSize);
  std::string unpacked;
  if (compressed) {
    if (!ZlibInflate(stored, unpacked)) return false;
  } else {
    unpacked.assign(stored);
  }
  std::string plain = UnscrambleName(Base64Decode(encoded), k);
  for (char& c : plain)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  name = std::move(plain);
  body = std::move(unpacked);
  return true;
}

std::string ResourceNameOf(std::string_view file_name) {
  std::string out;
  for (char c : file_name) {
    if (c == '.') {
      out += "_D_";
    } else {
      out.push_back((c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c);
    }
  }
  return out;
}

}  // namespace kv
