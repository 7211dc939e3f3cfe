// Configuration files by their extension: .dat, the window's data file, or
// .json, the JSON form. Read whole and checked; written atomically.

#include "cli/CliStdio.h"

#include "common/SaveWhole.h"

#include <QFile>
#include <QJsonDocument>
#include <QFileInfo>

#include <algorithm>
#include <span>

namespace vantrel::cli {

namespace {

std::optional<ConfigFileType> TypeByExtension(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QStringLiteral("dat"))
        return ConfigFileType::Dat;
    if (suffix == QStringLiteral("json"))
        return ConfigFileType::Json;
    return std::nullopt;
}

// A JSON configuration is a few hundred bytes; anything this large is not one.
constexpr qint64 kLargestJsonFile = 1 << 20;

} // namespace

ConfigFileType ConfigFileTypeOf(const QString& path)
{
    if (const auto type = TypeByExtension(path))
        return *type;
    throw CliFailure(CliExit::Usage,
                     QStringLiteral("%1: the name must end in .dat (a data file) or .json (the JSON form)").arg(path));
}

ConfigDocument LoadConfig(const QString& path)
{
    const auto type = TypeByExtension(path);
    if (!type)
        throw CliFailure(CliExit::BadFile,
                         QStringLiteral("%1: not a configuration file: the name must end in .dat or .json").arg(path));
    const auto bad = [&](const QString& what) { return CliFailure(CliExit::BadFile, path + QStringLiteral(": ") + what); };
    if (QFileInfo(path).isDir())
        throw bad(QStringLiteral("is a folder"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw bad(QStringLiteral("cannot be read: ") + file.errorString());
    // Bytes after offset 195 are not part of a data file.
    const QByteArray bytes = file.read(*type == ConfigFileType::Dat ? qint64(kDataFileSize) : kLargestJsonFile + 1);
    if (file.error() != QFileDevice::NoError)
        throw bad(QStringLiteral("cannot be read: ") + file.errorString());

    return DecodeConfig(bytes, *type, path);
}

ConfigDocument DecodeConfig(const QByteArray& bytes, ConfigFileType type, const QString& path)
{
    const auto bad = [&](const QString& what) { return CliFailure(CliExit::BadFile, path + QStringLiteral(": ") + what); };
    ConfigDocument document;
    if (type == ConfigFileType::Json) {
        if (bytes.size() > kLargestJsonFile)
            throw bad(QStringLiteral("too large for a configuration (over 1 MB)"));
        QStringList errors;
        if (!ConfigFromJson(bytes, document, errors)) {
            for (QString& e : errors)
                e.prepend(path + QStringLiteral(": "));
            throw CliFailure(CliExit::BadFile, errors.join(QLatin1Char('\n')));
        }
        return document;
    }
    const std::span view(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                         std::min(std::size_t(bytes.size()), std::size_t(kDataFileSize)));
    switch (DecodeDataFile(view, document.Record)) {
    case DataFileCheck::Ok:
        document.Header = DataFileHeaderOf(view);
        return document;
    case DataFileCheck::Incompatible:
        throw bad(QStringLiteral("Incompatible data file."));
    case DataFileCheck::LaterVersion:
        throw bad(QStringLiteral("The file uses a later data format. Cannot load"));
    case DataFileCheck::Truncated:
        break;
    }
    throw bad(QStringLiteral("too short for a data file (%1 bytes of %2)").arg(bytes.size()).arg(kDataFileSize));
}

QByteArray EncodeConfig(const ConfigDocument& document, ConfigFileType type)
{
    if (type == ConfigFileType::Json)
        return ConfigToJson(document);
    const DataFileImage image = EncodeDataFile(document.Record, document.Header);
    return QByteArray(reinterpret_cast<const char*>(image.data()), qsizetype(image.size()));
}

void SaveAtomically(const QString& path, const QByteArray& bytes)
{
    QString error;
    if (!SaveWhole(path, bytes, &error))
        throw CliFailure(CliExit::Failure, QStringLiteral("Cannot write %1: %2").arg(path, error));
}

void SaveConfig(const QString& path, const ConfigDocument& document)
{
    SaveAtomically(path, EncodeConfig(document, ConfigFileTypeOf(path)));
}

namespace {
const QString kStdio = QStringLiteral("-");

std::optional<ConfigFileType> FormatOf(const ParsedArgs& args)
{
    const QString format = args.Value(QStringLiteral("--format"));
    if (format.isEmpty() && !args.Has(QStringLiteral("--format")))
        return std::nullopt;
    if (format == QStringLiteral("json"))
        return ConfigFileType::Json;
    if (format == QStringLiteral("dat"))
        return ConfigFileType::Dat;
    throw CliFailure(CliExit::Usage, QStringLiteral("--format: '%1' is neither json nor dat").arg(format));
}
} // namespace

ConfigFileType ConfigArgType(const QString& path, const ParsedArgs& args)
{
    const auto format = FormatOf(args);
    if (path != kStdio)
        return ConfigFileTypeOf(path);
    if (!format)
        throw CliFailure(CliExit::Usage, QStringLiteral("-: give --format json or --format dat for standard input "
                                                        "or output"));
    return *format;
}

ConfigDocument LoadConfigArg(const QString& path, const ParsedArgs& args, CliContext& context)
{
    if (path != kStdio)
        return LoadConfig(path);
    const ConfigFileType type = ConfigArgType(path, args);
    if (!context.In)
        throw CliFailure(CliExit::Usage, QStringLiteral("-: standard input cannot be read here"));
    const QByteArray bytes = context.In->read(kLargestJsonFile + 1);
    return DecodeConfig(bytes, type, QStringLiteral("standard input"));
}

void SaveConfigArg(const QString& path, const ConfigDocument& document, const ParsedArgs& args, CliContext& context)
{
    if (path != kStdio) {
        SaveConfig(path, document);
        return;
    }
    const QByteArray bytes = EncodeConfig(document, ConfigArgType(path, args));
    if (!context.RawOut) {
        context.Out << QString::fromUtf8(bytes);
        return;
    }
    context.Out.flush();
    if (context.RawOut->write(bytes) != bytes.size())
        throw CliFailure(CliExit::Failure, QStringLiteral("Cannot write to standard output: %1")
                                               .arg(context.RawOut->errorString()));
}

void PrintJson(CliContext& context, const QJsonObject& document)
{
    context.Out << QString::fromUtf8(QJsonDocument(document).toJson(QJsonDocument::Indented));
}

} // namespace vantrel::cli
