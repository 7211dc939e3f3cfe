#pragma once
// The configuration in a readable JSON form, for people and scripts: one
// field per value, named after the window's captions, addresses as dotted
// text, flags as true or false, channel flags as lists of channel numbers,
// names as text, numbers as numbers. Together with the reserved bytes, and
// with an extra field for any value the readable one cannot carry exactly
// (present only then), it holds every byte a data file can hold, so a data
// file converted to JSON and back is the same 196 bytes. docs/cli.md's
// "The JSON form" documents every field; the keys are in RecordFields.h.

#include "config/ConfigRecord.h"
#include "config/DataFile.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QStringList>

namespace vantrel {

// A configuration as a file holds it: the record, and the data file's
// header where it differs from what the writer puts there.
struct ConfigDocument {
    ConfigRecord Record{};
    DataFileHeader Header;
};

// The JSON form: the fields in the window's order, two-space indented,
// UTF-8, ending in a line end.
QByteArray ConfigToJson(const ConfigDocument& document);

// Reads the JSON form. Every field is required but the extra ones; an
// unknown field or one given twice is refused. Each problem found is one
// line in `errors`, naming the field, the value and what it may be; the
// document is changed only when there are none.
bool ConfigFromJson(QByteArrayView json, ConfigDocument& document, QStringList& errors);

// The JSON form's name for the record byte at `offset` ("portNumber",
// "hysteresis[2]" for one of the eight numbers, "reserved"), as its
// messages name the field.
QString JsonKeyAt(std::size_t offset);

} // namespace vantrel
