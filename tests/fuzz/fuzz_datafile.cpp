// "Load File" through the real window, any bytes as the file.
//
// Before each input the window holds the defaults and an unsaved edit. A
// refused file must leave the record, the snapshot and every control (the
// log aside, which gets its lines) exactly as they were, with the box its
// fault calls for. An accepted file must be saved back by "Save File" as the
// same configuration: version 1, the program name, and the record byte for
// byte, except where the window cannot show a stored value as it is:
//   - a flag byte other than 0 or 1 comes back as 1 (a check box is on or off);
//   - a number outside its control's range comes back at the nearest limit
//     (hysteresis 0 to 1024, port 1 to 65535, timeout and period 1 to 255);
//   - an Ethernet name that fills all 16 bytes comes back as its first 15
//     characters and a zero (the name edit holds 15).
// Bytes after offset 195 are not part of a data file: the load ignores them,
// so they never reach the record or the saved file. The expectations below
// are worked out from the file's bytes alone, not through the code under test.

#include "FuzzWindow.h"

#include <algorithm>
#include <cstring>

namespace {

FuzzWindow* W = nullptr;

const char kProgramField[16] = {'Q', 'U', 'O', 'R', 'V', 'E', 'X', ' ', 'V', 'a', 'n', 't', 'r', 'e', 'l', 0};

vantrel::ConfigRecord Normalised(vantrel::ConfigRecord r)
{
    const auto flag = [](std::uint8_t& b) { b = b != 0 ? 1 : 0; };
    flag(r.DHCPEnable);
    flag(r.UseBroadcast);
    flag(r.EnableClient);
    for (int i = 0; i < 16; ++i) {
        flag(r.InvertInputs[i]);
        flag(r.InvertOutputs[i]);
        flag(r.OutputStartStatus[i]);
    }
    for (std::int32_t& h : r.Hysteresis)
        h = std::clamp(h, 0, 1024);
    r.ClientPort = std::clamp(r.ClientPort, 1, 65535);
    r.ServerTimeout = std::max<std::uint8_t>(r.ServerTimeout, 1);
    r.UpdatePeriod = std::max<std::uint8_t>(r.UpdatePeriod, 1);
    if (std::find(std::begin(r.EthernetName), std::end(r.EthernetName), 0) == std::end(r.EthernetName))
        r.EthernetName[15] = 0;
    return r;
}

QByteArray RecordBytes(const vantrel::ConfigRecord& r)
{
    return QByteArray(reinterpret_cast<const char*>(&r), sizeof r);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    W = &FuzzWindow::Make();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TMainForm& form = *W->Form;
    const QString input = W->Path("input.dat");
    const QString saved = W->Path("saved.dat");
    const QByteArray file(reinterpret_cast<const char*>(data), qsizetype(size));
    WriteWholeFile(input, file);
    QFile::remove(saved);

    // The same starting point for every input: defaults, snapshot, and one
    // unsaved edit that a refused file must keep.
    MainFormPeer(form).ConfigRecord() = vantrel::ConfigRecord{};
    form.SetDefaultConfig();
    form.ConfigToForm();
    form.TakeConfigSnapshot();
    form.ClearButtonClick();
    W->Get<QLineEdit>("DeviceNameEdit")->setText(QStringLiteral("unsaved edit"));
    W->Get<QSpinBox>("Hysteresis2CSpinEdit")->setValue(7);
    W->Dialogs.Boxes.clear();
    W->Dialogs.FileNames = {input};

    const QByteArray recordBefore = RecordBytes(form.Record());
    const QByteArray snapshotBefore = RecordBytes(form.Snapshot());
    const QString controlsBefore = W->Controls();

    form.LoadButtonClick();
    FUZZ_CHECK(W->Dialogs.FileNames.empty());

    // What the file must give, from its bytes alone.
    std::int32_t version = 0;
    if (size >= 4)
        std::memcpy(&version, data, 4);
    const char* refusal = nullptr;
    if (size < 36)
        refusal = "Error Opening File.";
    else if (std::memcmp(data + 4, kProgramField, sizeof kProgramField) != 0)
        refusal = "Incompatible data file.";
    else if (version > 1)
        refusal = "The file uses a later data format.\r\nCannot load";
    else if (size < 196)
        refusal = "Error Opening File.";

    if (refusal) {
        FUZZ_CHECK(W->Dialogs.Boxes.size() == 1);
        FUZZ_CHECK(W->Dialogs.Boxes[0].Text == QString::fromLatin1(refusal));
        FUZZ_CHECK(W->Dialogs.Boxes[0].Type == MsgType::Error);
        FUZZ_CHECK(RecordBytes(form.Record()) == recordBefore);
        FUZZ_CHECK(RecordBytes(form.Snapshot()) == snapshotBefore);
        QString expected = controlsBefore;
        if (refusal == std::string_view("Error Opening File."))
            expected += QStringLiteral("File Error:\n") + input;
        FUZZ_CHECK(W->Controls() == expected);
        return 0;
    }

    FUZZ_CHECK(W->Dialogs.Boxes.empty());
    FUZZ_CHECK(std::memcmp(&form.Record(), data + 36, 160) == 0);
    FUZZ_CHECK(!vantrel::RecordsDiffer(form.Record(), form.Snapshot()));
    FUZZ_CHECK(W->Get<QPlainTextEdit>("LogMemo")->toPlainText() == QStringLiteral("File Loaded:\n") + input);

    vantrel::ConfigRecord stored;
    std::memcpy(&stored, data + 36, sizeof stored);
    const vantrel::ConfigRecord expected = Normalised(stored);

    // The close request's change test: only a value the window cannot show
    // as stored counts as a change.
    form.FormToConfig();
    FUZZ_CHECK(form.ConfigChanged() == (RecordBytes(expected) != RecordBytes(stored)));
    FUZZ_CHECK(RecordBytes(form.Record()) == RecordBytes(expected));

    W->Dialogs.FileNames = {saved};
    form.SaveButtonClick();
    FUZZ_CHECK(W->Dialogs.Boxes.empty());
    const QByteArray written = ReadWholeFile(saved);
    FUZZ_CHECK(written.size() == 196);
    const QByteArray header = QByteArray("\x01\x00\x00\x00", 4) + QByteArray(kProgramField, 16) + QByteArray(16, '\0');
    FUZZ_CHECK(written.left(36) == header);
    FUZZ_CHECK(written.mid(36) == RecordBytes(expected));
    // A file that the window shows as it is saves back as exactly its own
    // bytes 36 to 195.
    if (RecordBytes(expected) == RecordBytes(stored))
        FUZZ_CHECK(written.mid(36) == file.mid(36, 160));
    return 0;
}
