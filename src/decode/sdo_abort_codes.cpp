#include "decode/sdo_abort_codes.h"

#include <algorithm>

const SdoAbortCode sdoAbortCodes[kNumSdoAbortCodes] = {
    {kAbortToggle, " (Toggle bit not alternated)"},
    {kAbortTimeout, " (SDO protocol timed out)"},
    {kAbortCommand, " (Client/server command specifier not valid or unknown)"},
    {0x05040002, " (Invalid block size)"},
    {kAbortSequence, " (Invalid sequence number)"},
    {kAbortCrc, " (CRC error)"},
    {0x05040005, " (Out of memory.)"},
    {0x06010000, " (Unsupported access to an object.)"},
    {0x06010001, " (Attempt to read a write only object.)"},
    {kAbortReadOnly, " (Attempt to write a read only object.)"},
    {kAbortNoObject, " (Object does not exist in the object dictionary)"},
    {0x06040041, " (Object cannot be mapped to the PDO)"},
    {0x06040042, " (The number and length of the objects to be mapped would exceed PDO length)"},
    {0x06040043, " (General parameter incompatibility reason)"},
    {0x06040047, " (General internal incompatibility in the device)"},
    {0x06060000, " (Access failed due to an hardware error)"},
    {kAbortLength, " (Data type does not match, length of service parameter does not match)"},
    {0x06070012, " (Data type does not match, length of service parameter too high)"},
    {0x06070013, " (Data type does not match, length of service parameter too low)"},
    {0x06090011, " (Sub-index does not exist)"},
    {0x06090030, " (Value range of parameter exceeded)"},
    {0x06090031, " (Value of parameter written too high)"},
    {0x06090032, " (Value of parameter written too low)"},
    {0x06090036, " (Maximum value is less than minimum value)"},
    {0x08000000, " (general error)"},
    {0x08000020, " (Data cannot be transferred or stored to the application)"},
    {0x08000021,
     " (Data cannot be transferred or stored to the application because of local control)"},
    {0x08000022,
     " (Data cannot be transferred or stored to the application because of the present device "
     "state)"},
    {0x08000023,
     " (Object dictionary dynamic generation fails or no object dictionary is present)"},
};

const char* SdoAbortText(uint32_t code) {
    const SdoAbortCode* end = sdoAbortCodes + kNumSdoAbortCodes;
    const SdoAbortCode* row = std::lower_bound(
        sdoAbortCodes, end, code, [](const SdoAbortCode& r, uint32_t c) { return r.code < c; });
    return row != end && row->code == code ? row->text : "";
}
