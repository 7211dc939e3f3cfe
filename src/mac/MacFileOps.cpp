// The window's side of the MAC allocation file: loaded at start-up, the
// first two lines written back at close, and the six octets of "Send New MAC".

#include "app/MainForm.h"
#include "mac/MacAllocation.h"

#include "ui_MainForm.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

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
    // the single-byte code page.
    MacFileExisted = true;
    const std::optional<QStringConverter::Encoding> bom = QStringConverter::encodingForData(bytes);
    MacFileEncoding = bom.value_or(QStringConverter::Latin1);
    MacFileHasBom = bom.has_value();
    QStringDecoder decode(MacFileEncoding);
    const QString text = decode(bytes);
    for (const std::string& line : vantrel::SplitLines(text.toStdString()))
        MacAllocationList << QString::fromStdString(line);
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

    std::vector<std::string> lines;
    for (const QString& line : MacAllocationList)
        lines.push_back(line.toStdString());
    QStringEncoder encode(MacFileEncoding,
                          MacFileHasBom ? QStringConverter::Flag::WriteBom : QStringConverter::Flag::Default);
    const QByteArray bytes = encode(QString::fromStdString(vantrel::JoinLinesCrLf(lines)));

    QSaveFile file(path);
    const bool written = file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
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
