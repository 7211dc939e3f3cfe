#pragma once
// Configurations from and to "-" (standard input and output, their form
// given by --format), and JSON documents for scripts.

#include "cli/CliSupport.h"

#include <QJsonObject>

namespace vantrel::cli {

// The form of `path`: by its extension, or by --format for "-". Throws
// CliFailure(Usage) when it cannot be told.
ConfigFileType ConfigArgType(const QString& path, const ParsedArgs& args);

// LoadConfig and SaveConfig, where "-" is standard input or output.
ConfigDocument LoadConfigArg(const QString& path, const ParsedArgs& args, CliContext& context);
void SaveConfigArg(const QString& path, const ConfigDocument& document, const ParsedArgs& args, CliContext& context);

// A configuration file's bytes checked and read (`name` for the messages),
// and a document as a file's bytes.
ConfigDocument DecodeConfig(const QByteArray& bytes, ConfigFileType type, const QString& name);
QByteArray EncodeConfig(const ConfigDocument& document, ConfigFileType type);

// One JSON document on the output, indented, with a line end.
void PrintJson(CliContext& context, const QJsonObject& document);

} // namespace vantrel::cli
