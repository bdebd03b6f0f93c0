// The GD3 tag block: text fields (title, game, system, author...) that a VGM
// file may carry, usually as its last bytes.
//
//   offset 0   "Gd3 "       magic, compared exactly
//   offset 4   u32 version  0x100 for 1.00; never checked, always kept
//   offset 8   u32 length   bytes of string data after this 12-byte head
//   offset 12  string data  UTF-16LE strings, each ended by a zero unit;
//                           the first one is the English track title
//
// The header field at 0x14 holds the tag's position relative to 0x14 (0 = no
// tag). Nothing here ever reads past the buffer it is given: a tag whose
// length runs past the end of the buffer is cut short at the end.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "vgm/bytes.h"

namespace vgm {

constexpr uint32_t kGd3Magic = 0x20336447;  // "Gd3 "
constexpr size_t kGd3HeadSize = 12;

// A valid tag found in a buffer. It views that buffer, which must outlive it.
struct Gd3Tag {
    uint32_t pos = 0;     // absolute position of the block
    uint32_t length = 0;  // the length field as stored
    Bytes block;          // head and string data, cut at the end of the buffer
    Bytes file;           // the whole buffer the tag was found in

    Bytes data() const { return block.subspan(kGd3HeadSize); }
    // True when the stored length runs past the end of the buffer.
    bool cut_short() const { return block.size() - kGd3HeadSize < length; }
};

// The tag at absolute position `pos` of `file`: nullopt when `pos` is 0, when
// the 12-byte head does not lie inside the file, or when the magic is not
// "Gd3 ".
std::optional<Gd3Tag> find_gd3_at(Bytes file, uint32_t pos);

// The tag named by the GD3 offset field (0x14) of a file as stored (offset
// relative to its field, position computed in 32 bits).
std::optional<Gd3Tag> find_gd3(Bytes file);

// Appends a tag block behind `out` and returns the position it starts at.
// A tag cut short is appended as far as it exists, with its length field set
// to the string bytes actually carried, so that the output is consistent.
// Magic and version are copied as they stand.
size_t append_gd3(std::vector<uint8_t>& out, const Gd3Tag& tag);

// Replaces the tag of `dest` (a whole decompressed file) by `tag_block` (a
// 12-byte head and its string data). The kept part of dest is everything
// before its old tag (0x14 + GD3 offset) or, without a tag, the file as its
// EOF offset declares it (EOF offset + 4); either is limited to the bytes
// that exist. In the kept part only the EOF offset (new size - 4) and the GD3
// offset (kept size - 0x14) change. False, with `out` untouched, when the
// kept part would not hold both fields or the block is shorter than 12 bytes.
bool attach_gd3(Bytes dest, Bytes tag_block, std::vector<uint8_t>& out);

// The units of the first string (the English track title) of a tag: read
// from the string data one 16-bit unit at a time until a zero unit, until the
// units read cover the length field (the unit that reaches or crosses it is
// still read, so with an odd length one byte behind the block), or until the
// end of the buffer. The title is what comes
// before the first zero unit; it may be empty.
std::u16string gd3_title_units(const Gd3Tag& tag);

// Converts a title to a multibyte string in the current LC_CTYPE locale.
// The result holds at most as many bytes as the title has characters;
// conversion stops before the first character that would not fit in the
// bytes left or that the locale cannot represent.
std::string title_to_multibyte(const std::u16string& title);

// The track title of a whole file, converted; "" when the file has no valid
// tag or its title is empty.
std::string read_gd3_title(Bytes file);

}  // namespace vgm
