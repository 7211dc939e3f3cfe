#pragma once
// The configuration record's fields by the captions the window shows them
// under, each with the bytes it occupies. Every one of the 160 bytes
// belongs to exactly one field; the reserved bytes form three fields of
// their own. vantrel-cli prints, compares and reports records with these.

#include "config/ConfigRecord.h"

#include <cstddef>
#include <span>
#include <vector>

namespace vantrel {

enum class FieldKind {
    Address,   // four octets
    Flag,      // one byte, a check box
    Name,      // one byte per character up to a zero
    Number8,   // an unsigned byte
    Number32,  // a signed 32-bit number
    Channels,  // sixteen flag bytes, channels 1 to 16
    Reserved,  // bytes no control shows
};

struct RecordField {
    const char* Caption; // "IP Address", "Analogue Update Hysteresis Input 3", ...
    FieldKind Kind;
    std::size_t Offset;
    std::size_t Size;
};

// In the order the window shows them: the "General" page, then "Control",
// then the reserved bytes.
std::span<const RecordField> RecordFields();

// The fields in which the two records differ in any byte, in that order.
std::vector<RecordField> DifferingFields(const ConfigRecord& a, const ConfigRecord& b);

// The field's bytes in `record`.
const std::uint8_t* FieldBytes(const ConfigRecord& record, const RecordField& field);

} // namespace vantrel
