// vantrel-cli for scripts: list, info and diff as JSON documents, and
// configurations through standard input and output ("-").

#include "config/ConfigJson.h"
#include "config/DataFile.h"
#include "support/CliHarness.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using namespace vantrel;

namespace {

QJsonObject Parsed(const CliRun& run)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(run.Out.toUtf8(), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << testing::PrintToString(run);
    EXPECT_TRUE(document.isObject()) << testing::PrintToString(run);
    return document.object();
}

QByteArray Dat(const ConfigRecord& record)
{
    const DataFileImage image = EncodeDataFile(record);
    return QByteArray(reinterpret_cast<const char*>(image.data()), qsizetype(image.size()));
}

} // namespace

TEST(CliJson, ListInfoAndDiffPrintOneDocumentOfTheDocumentedSchema)
{
    CliHarness h;
    h.AddUnit();
    h.AddUnit("HID\\VID_04D8&PID_FD37&REV_0001")->FailOpens(HidOpenMode::Read);
    const CliRun list = h.Run(Args({"list", "--json"}));
    EXPECT_EQ(list.Code, 0) << testing::PrintToString(list);
    const QJsonArray units = Parsed(list).value(S("units")).toArray();
    ASSERT_EQ(units.size(), 2);
    EXPECT_EQ(units[0].toObject(), (QJsonObject{{S("hardwareId"), S("HID\\VID_04D8&PID_FD37&REV_0006")},
                                                {S("path"), S("sim:0")},
                                                {S("programMode"), false},
                                                {S("canBeOpened"), true},
                                                {S("reason"), S("")}}));
    EXPECT_EQ(units[1].toObject().value(S("programMode")), true);
    EXPECT_EQ(units[1].toObject().value(S("reason")).toString(), S("Device or resource busy"));

    const CliRun info = h.Run(Args({"info", "--json", "--unit", "sim:0"}));
    EXPECT_EQ(info.Code, 0) << testing::PrintToString(info);
    EXPECT_EQ(Parsed(info), (QJsonObject{{S("application"), S("QUORVEX Vantrel")},
                                         {S("firmwareVersion"), S("1.05")},
                                         {S("serialNumber"), 4711},
                                         {S("macAddress"), S("00.04.A3.01.02.0F")}}));

    ConfigRecord other = SampleUnitConfig();
    other.ClientPort = 503;
    WriteFile(h.Path("a.dat"), Dat(SampleUnitConfig()));
    WriteFile(h.Path("b.json"), ConfigToJson(ConfigDocument{other, {}}));
    const CliRun diff = h.Run({S("diff"), S("--json"), h.Path("a.dat"), h.Path("b.json")});
    EXPECT_EQ(diff.Code, int(CliExit::CheckFailed)) << testing::PrintToString(diff);
    const QJsonObject differs = Parsed(diff);
    EXPECT_EQ(differs.value(S("same")), false);
    EXPECT_EQ(differs.value(S("a")), h.Path("a.dat"));
    EXPECT_EQ(differs.value(S("differences")).toArray(),
              (QJsonArray{QJsonObject{{S("field"), S("portNumber")}, {S("a"), SampleUnitConfig().ClientPort}, {S("b"), 503}}}));
    const CliRun same = h.Run({S("diff"), S("--json"), h.Path("a.dat"), h.Path("a.dat")});
    EXPECT_EQ(same.Code, 0);
    EXPECT_EQ(Parsed(same).value(S("differences")).toArray(), QJsonArray());

    // No unit: the document still, and the code for no unit.
    CliHarness none;
    const CliRun empty = none.Run(Args({"list", "--json"}));
    EXPECT_EQ(empty.Code, int(CliExit::NoUnit));
    EXPECT_EQ(Parsed(empty), (QJsonObject{{S("units"), QJsonArray()}}));
}

// A configuration through a pipe: read to standard output, convert from
// standard input and back, in both forms, byte for byte.
TEST(CliStdio, AConfigurationRoundTripsThroughStandardInputAndOutput)
{
    CliHarness h;
    const auto unit = h.AddUnit();
    const CliRun json = h.Run(Args({"read", "-o", "-", "--format", "json"}));
    ASSERT_EQ(json.Code, 0) << testing::PrintToString(json);
    ConfigDocument fromUnit;
    QStringList errors;
    ASSERT_TRUE(ConfigFromJson(json.RawOut, fromUnit, errors)) << errors.join(S("\n")).toStdString();

    EXPECT_EQ(fromUnit.Record.ClientPort, unit->StoredConfig().ClientPort);
    h.Stdin = json.RawOut;
    const CliRun toDat = h.Run(Args({"convert", "-", "-", "--format", "dat"}));
    EXPECT_EQ(toDat.Code, int(CliExit::BadFile)) << "standard input is JSON, not a data file";
    const CliRun dat = h.Run({S("convert"), S("-"), h.Path("pump.dat"), S("--format"), S("json")});
    ASSERT_EQ(dat.Code, 0) << testing::PrintToString(dat);
    h.Stdin.clear();
    const CliRun back = h.Run({S("convert"), h.Path("pump.dat"), S("-"), S("--format"), S("dat")});
    ASSERT_EQ(back.Code, 0) << testing::PrintToString(back);
    EXPECT_EQ(back.RawOut, ReadFile(h.Path("pump.dat")));
    EXPECT_EQ(back.RawOut.size(), 196);
    h.Stdin = back.RawOut;
    const CliRun again = h.Run(Args({"convert", "-", "-", "--format", "dat"}));
    EXPECT_EQ(again.RawOut, back.RawOut);

    // write - takes the configuration from standard input.
    ConfigRecord site = SampleUnitConfig();
    site.ClientPort = 503;
    h.Stdin = ConfigToJson(ConfigDocument{site, {}});
    const CliRun written = h.Run(Args({"write", "-", "--format", "json"}));
    EXPECT_EQ(written.Code, 0) << testing::PrintToString(written);
    EXPECT_EQ(unit->StoredConfig().ClientPort, 503);

    const struct {
        QStringList args;
        const char* message;
    } refused[] = {
        {Args({"read", "-o", "-"}), "-: give --format json or --format dat for standard input or output"},
        {Args({"convert", "-", "x.json", "--format", "xml"}), "--format: 'xml' is neither json nor dat"},
        {Args({"diff", "-", "-", "--format", "json"}), "vantrel-cli diff: only one side can be standard input"},
    };
    for (const auto& r : refused) {
        const CliRun run = h.Run(r.args);
        EXPECT_EQ(run.Code, int(CliExit::Usage)) << testing::PrintToString(run);
        EXPECT_TRUE(run.Err.startsWith(QString::fromUtf8(r.message))) << testing::PrintToString(run);
    }
}
