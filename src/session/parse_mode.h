#pragma once

// Which decoder interprets the frames.
enum ParseMode {
    PARSE_NONE = 0,  // no decoder chosen yet
    PARSE_RAW = 1,
    PARSE_CANOPEN = 2,
    PARSE_DEVICENET = 3,  // accepted on the command line; decoded as raw CAN
};
