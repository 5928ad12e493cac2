#pragma once
// The container every embedded file travels in (integers little-endian):
//
//   offset  size  field
//   0       4     magic "MFxP" (4D 46 78 50)
//   4       4     compressed: first byte non-zero = body is a zlib stream; other bytes 0
//   8       4     name key        \
//   12      4     name multiplier  } parameters of the name scrambling
//   16      4     name addend     /
//   20      256   name: a length byte, then base64 of the scrambled file name
//   276     rest  body: the file's bytes or their zlib stream (header and Adler-32)
//
// Name scrambling walks the bytes with a 32-bit key: out = in XOR ((key >> 8) & 0xFF),
// then key = (key + scrambled byte) * multiplier + addend (wrap-around). The same walk
// reads and writes; only which byte is "scrambled" differs.
//
// Pure functions with no platform dependency: the build-time packer compiles this file
// with the host compiler as well.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kv {

inline constexpr std::size_t kContainerHeaderSize = 276;
inline constexpr std::size_t kContainerNameOffset = 20;
inline constexpr std::size_t kContainerNameFieldSize = 256;
// Upper bound of one unpacked body; a hostile stream claiming more is rejected.
inline constexpr std::size_t kContainerMaxBody = 64u * 1024u * 1024u;

struct TNameScrambleKey {
  uint32_t key = 0;
  uint32_t multiplier = 0;
  uint32_t addend = 0;
};

std::string ScrambleName(std::string_view plain, TNameScrambleKey k);
std::string UnscrambleName(std::string_view scrambled, TNameScrambleKey k);

// Standard alphabet with "=" padding.
std::string Base64Encode(std::string_view bytes);
// Decodes up to the first "=" or the end; characters outside the alphabet are skipped,
// a trailing partial group shorter than two characters is dropped.
std::string Base64Decode(std::string_view text);

// zlib stream (RFC 1950) at the best compression; empty on failure.
std::string ZlibCompress(std::string_view bytes);
// Inflates a complete zlib stream; false on a corrupt or truncated stream, trailing
// garbage, or output beyond `limit`.
bool ZlibInflate(std::string_view stream, std::string& out, std::size_t limit = kContainerMaxBody);

// Builds a container. The name must be at most 189 bytes (its base64 then fits 255).
// Returns an empty string when the name is too long or compression fails.
std::string BuildContainer(std::string_view name, std::string_view body, bool compress,
                           TNameScrambleKey k);

// Reads a container: the lower-cased file name and the unpacked body. False when the
// bytes are 276 or fewer, the magic is wrong or the body does not inflate.
bool OpenContainer(std::string_view container, std::string& name, std::string& body);

// Windows resource name of a file: upper-cased, "." written as "_D_" ("logo.png" -> "LOGO_D_PNG").
std::string ResourceNameOf(std::string_view file_name);

}  // namespace kv
