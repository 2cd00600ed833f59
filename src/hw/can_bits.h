#pragma once

#include <cstdint>
#include <vector>

struct CANframe;

// A frame as it goes over the wire.
//
// The bits of a data or remote frame from the start-of-frame bit to the end of the
// end-of-frame field, stuff bits included (the CRC delimiter, ACK slot and delimiter and the
// seven end-of-frame bits are recessive and not stuffed), each 0 (dominant) or 1 (recessive).
// The ACK slot is given as sent by the transmitter (recessive). Error frames and text entries
// give an empty sequence.
std::vector<uint8_t> FrameBits(const CANframe& frame);
// The CAN CRC-15 register crc after one more bit (0 or 1).
uint16_t Crc15Step(uint16_t crc, int bit);
// The CRC-15 of a frame's bits from start of frame to the end of its data field (unstuffed).
uint16_t FrameCrc15(const CANframe& frame);
// How many bit times the frame occupies the bus: FrameBits().size() plus the three bits of the
// intermission that must pass before the next frame may start.
int FrameBusBits(const CANframe& frame);
