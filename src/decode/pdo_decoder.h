#pragma once

#include <string>

#include "decode/frame_values.h"
#include "decode/parsed_message.h"
#include "decode/pdo_routes.h"
#include "store/can_frame.h"

class ObjectNames;
class Parser;

// Decodes a frame of a PDO by the route that was in force when it arrived: the mapped objects
// named and typed by the dictionary of port's node (or, for a multiplexed PDO in destination
// address mode, of the addressed node). Where the mapping cannot be read whole (no dictionary,
// an object it lacks, a type that is not basic, more than 64 bits), the frame decodes as raw
// decodes it, with a line saying why: never a wrong value.
//
// Returns the short description; adds the decoded lines to message and the values to values
// when they are given.
std::string DecodePdo(CANframe& frame, const PdoRoute& route, ObjectNames* names, Parser& raw,
                      ParsedMessage* message, FrameValues* values);
