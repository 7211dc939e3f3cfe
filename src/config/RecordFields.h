#pragma once
// The configuration record's fields by the captions the window shows them
// under, each with the bytes it occupies, its key in the JSON form and what
// the window's control lets the operator enter. Every one of the 160 bytes
// belongs to exactly one field; the reserved bytes form three fields of
// their own. The JSON form, vantrel-cli's readable records and its checks
// before a write all go by this one table.

#include "config/ConfigRecord.h"

#include <cstddef>
#include <cstdint>
#include <optional>
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

// What the field's control takes: a number from Min to Max, or a name of
// at most Max characters.
struct WindowLimits {
    long long Min = 0;
    long long Max = 0;
};

struct RecordField {
    const char* Caption; // "IP Address", "Analogue Update Hysteresis Input 3", ...
    FieldKind Kind;
    std::size_t Offset;
    std::size_t Size;
    // The JSON form's key. Neighbouring fields with the same key are one
    // JSON value: the eight hysteresis numbers one list ("hysteresis[2]"
    // is input 3), the reserved bytes one hexadecimal text.
    const char* JsonKey;
    // The JSON field that carries the bytes exactly where the readable
    // value cannot (a flag byte above 1, a name's bytes after its end);
    // none for the kinds whose value always does.
    const char* JsonExtra = nullptr;
    // None for a field the operator cannot set (the reserved bytes) or can
    // set only to what the record holds anyway (an address, a flag).
    std::optional<WindowLimits> Limits = std::nullopt;
};

// In the order the window shows them: the "General" page, then "Control",
// then the reserved bytes. The JSON form has its keys in the same order.
std::span<const RecordField> RecordFields();

// The field holding the record byte at `offset` (below 160).
const RecordField& FieldAt(std::size_t offset);

// The fields in which the two records differ in any byte, in that order.
std::vector<RecordField> DifferingFields(const ConfigRecord& a, const ConfigRecord& b);

// The field's bytes in `record`.
const std::uint8_t* FieldBytes(const ConfigRecord& record, const RecordField& field);

// The number a Number8 or Number32 field holds.
std::int64_t FieldNumber(const ConfigRecord& record, const RecordField& field);

} // namespace vantrel
