// The window's side of the MAC allocation file: loaded at start-up, the
// first two lines written back at close, and the six octets of "Send New MAC".

#include "app/MainForm.h"
#include "mac/MacAllocation.h"
#include "mac/MacLineCodec.h"

#include "ui_MainForm.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

void TMainForm::LoadMacAllocationFile()
{
    MacAllocationList.clear();
    const QString& path = Services.Paths.MacAllocationFile;
    MacFileExisted = false;
    bool readable = false;
    QByteArray bytes;
    if (QFileInfo(path).isFile()) {
        QFile file(path);
        readable = file.open(QIODevice::ReadOnly);
        if (readable)
            bytes = file.readAll();
        readable = readable && file.error() == QFileDevice::NoError;
        if (!readable) {
            Log(QStringLiteral("MAC Allocation File Error:"));
            Log(path);
        }
    }
    ui->NewMAC1Edit->setVisible(readable);
    ui->NewMAC2Edit->setVisible(readable);
    ui->SendNewMACButton->setVisible(readable);
    if (!readable)
        return;

    // A byte-order mark selects its encoding; without one the file is in
    // the single-byte code page. The bytes of every line are kept for the
    // write-back, which gives back all but the first two as they are.
    MacFileExisted = true;
    MacFileAsRead = vantrel::SplitMacFile(std::string_view(bytes.constData(), std::size_t(bytes.size())));
    for (const std::string& line : MacFileAsRead.Lines)
        MacAllocationList << vantrel::DecodeMacLine(MacFileAsRead.Encoding, line);
    if (!MacAllocationList.isEmpty()) {
        ui->NewMAC2Edit->setText(MacAllocationList.value(0));
        ui->NewMAC1Edit->setText(MacAllocationList.value(1));
    }
}

void TMainForm::WriteBackMacAllocationFile()
{
    const QString& path = Services.Paths.MacAllocationFile;
    // Nothing is written for a file that was not there at start-up, nor for
    // one deleted since: the file is never created by the program.
    if (!MacFileExisted || !QFileInfo(path).isFile())
        return;
    while (MacAllocationList.size() < 2)
        MacAllocationList << QString();
    MacAllocationList[0] = ui->NewMAC2Edit->text();
    MacAllocationList[1] = ui->NewMAC1Edit->text();

    // Lines 1 and 2 are encoded anew, the mark and all other lines are
    // written back as the bytes they were. A file that would not read back
    // as exactly these lines (the encoding cannot hold an edit's text, an
    // edit holds a line end or would form a mark, the last line ends inside
    // a code unit) is left as it was, and the operator is told.
    const vantrel::MacFileEncoding encoding = MacFileAsRead.Encoding;
    const std::string first = vantrel::EncodeMacLine(encoding, MacAllocationList[0]);
    const std::string second = vantrel::EncodeMacLine(encoding, MacAllocationList[1]);
    std::optional<std::string> bytes;
    if (vantrel::DecodeMacLine(encoding, first) == MacAllocationList[0]
        && vantrel::DecodeMacLine(encoding, second) == MacAllocationList[1])
        bytes = vantrel::ReplaceFirstTwoLines(MacFileAsRead, first, second);
    if (!bytes) {
        Services.Dialogs.MessageDlg(
            QStringLiteral("MAC allocation file not written: it would not read back exactly\n") + path,
            MsgType::Error, MsgButtons::Ok);
        return;
    }

    QSaveFile file(path);
    const bool written = file.open(QIODevice::WriteOnly)
                         && file.write(bytes->data(), qint64(bytes->size())) == qint64(bytes->size())
                         && file.commit();
    if (!written)
        Services.Dialogs.MessageDlg(QStringLiteral("Cannot write the MAC allocation file\n") + path, MsgType::Error,
                                    MsgButtons::Ok);
}

bool TMainForm::NewMacAddress(std::array<std::uint8_t, 6>& octets)
{
    if (MacAllocationList.size() < 6) {
        Services.Dialogs.MessageDlg(QStringLiteral("MAC allocation file has fewer than 6 lines"), MsgType::Error,
                                    MsgButtons::Ok);
        return false;
    }
    // Octets 1 to 4 from entries 5 down to 2, octets 5 and 6 from the edits.
    const QString sources[6] = {MacAllocationList[5], MacAllocationList[4], MacAllocationList[3],
                                MacAllocationList[2], ui->NewMAC1Edit->text(), ui->NewMAC2Edit->text()};
    for (std::size_t i = 0; i < 6; ++i) {
        const auto octet = vantrel::HexPairToOctet(sources[i].toLatin1().toStdString());
        if (!octet) {
            Services.Dialogs.MessageDlg(QStringLiteral("Invalid MAC octet: '%1'").arg(sources[i].left(2)),
                                        MsgType::Error, MsgButtons::Ok);
            return false;
        }
        octets[i] = *octet;
    }
    return true;
}
