#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "decode/data_types.h"
#include "decode/frame_values.h"

// Reading a value of a basic data type from a frame's bits or a transfer's bytes, and writing
// it as the decoder's lines show it.

// Reads v from the eight bytes of data at v.firstBit, v.bits long (at most to bit 64), by type:
// numbers for the integer, boolean and real types, text for a visible string, hex bytes for the
// rest. v.bits must suit the type.
void ReadBitsValue(const uint8_t* data, const DataType& type, DecodedValue& v);

// Reads v from the size bytes of a transfer, of which bytes holds the first count: a number
// when type (may be null) is a number type of exactly that size, text for a visible string, hex
// bytes otherwise. A long value keeps its first count bytes.
void ReadBytesValue(const uint8_t* bytes, size_t count, uint32_t size, const DataType* type,
                    DecodedValue& v);

// Appends the value as a short description shows it: unsigned numbers of 16 bits or more in hex,
// other numbers in decimal, strings in quotes, bytes in hex; "?" for none.
void AppendShortText(std::string& out, const DecodedValue& v);
// As a detail line shows it: unsigned numbers of 16 bits or more in decimal and hex.
std::string LongText(const DecodedValue& v);
// "0a 0b 0c".
std::string HexBytes(const uint8_t* bytes, size_t n);
