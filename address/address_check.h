// The address check of function codes 3 and 4: the state of one check in progress
// and the decoding of a matched address into its GateAddress words.
#pragma once

#include <cstddef>
#include <cstdint>

#include "address/address_field.h"
#include "context/context.h"
#include "include/krogw/abi.h"

namespace krogw {

// Belongs to one check and lives on its caller's stack: checks for several instances,
// or several for one, may run at the same time and never share it.
struct AddressCheck {
    AddressField field;
    bool allow_duplicates;  // set for an array check
};

// The number at fixed positions of the field, at most width digits; false and value
// unchanged when there is no digit.
bool ReadFieldNumber(const AddressField& field, size_t first, size_t width, int32_t& value);

inline constexpr int32_t kMaxRtu = 65535;

// An RTU number of five digits from the given position; true when it is 1..65535.
bool ReadRtuNumber(const AddressField& field, size_t first, int32_t& value);

// Decodes a field that matched a template into the five words; true when accepted.
// The words may be partly filled on a rejection.
bool DecodeAddress(const AddressCheck& check, const AddressCheckArguments& arguments,
                   DriverContext& context, GateAddress& words);

// The numeric table element form; records the gate's table type and refuses an
// address that another gate of the instance already uses.
bool DecodeTableElement(const AddressCheck& check, const AddressCheckArguments& arguments,
                        DriverContext& context, GateAddress& words);

}  // namespace krogw
