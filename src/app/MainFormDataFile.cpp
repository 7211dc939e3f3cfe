// Saving and loading configuration data files from the window.

#include "app/MainForm.h"
#include "common/SaveWhole.h"
#include "config/DataFile.h"

#include <QFile>

void TMainForm::SaveButtonClick()
{
    SaveConfigFile();
}

void TMainForm::LoadButtonClick()
{
    LoadConfigFile();
}

bool TMainForm::SaveConfigFile()
{
    FormToConfig();
    const QString fileName = Services.Dialogs.PromptSaveFileName();
    if (fileName.isEmpty())
        return true;

    // Written whole: a save that fails half-way leaves any earlier file of
    // that name as it was.
    const vantrel::DataFileImage image = vantrel::EncodeDataFile(ConfigRecord);
    if (!vantrel::SaveWhole(fileName, QByteArray(reinterpret_cast<const char*>(image.data()), qsizetype(image.size())))) {
        Services.Dialogs.MessageDlg(QStringLiteral("Error Saving File."), MsgType::Error, MsgButtons::Ok);
        Log(QStringLiteral("File Error:"));
        Log(fileName);
        return false;
    }
    TakeConfigSnapshot();
    Log(QStringLiteral("File Saved:"));
    Log(fileName);
    return true;
}

void TMainForm::LoadConfigFile()
{
    const QString fileName = Services.Dialogs.PromptOpenFileName();
    if (fileName.isEmpty())
        return;

    const auto openError = [&] {
        Services.Dialogs.MessageDlg(QStringLiteral("Error Opening File."), MsgType::Error, MsgButtons::Ok);
        Log(QStringLiteral("File Error:"));
        Log(fileName);
    };

    // The whole file is read and checked before anything changes, so a
    // refused or short file never leaves a half-loaded record.
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        openError();
        return;
    }
    const QByteArray bytes = file.read(qint64(vantrel::kDataFileSize));
    if (bytes.isEmpty() && file.error() != QFileDevice::NoError) {
        openError();
        return;
    }
    file.close();

    vantrel::ConfigRecord loaded = ConfigRecord;
    const auto check = vantrel::DecodeDataFile(
        std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size())), loaded);
    switch (check) {
    case vantrel::DataFileCheck::Incompatible:
        Services.Dialogs.MessageDlg(QStringLiteral("Incompatible data file."), MsgType::Error, MsgButtons::Ok);
        return;
    case vantrel::DataFileCheck::LaterVersion:
        Services.Dialogs.MessageDlg(QStringLiteral("The file uses a later data format.\r\nCannot load"),
                                    MsgType::Error, MsgButtons::Ok);
        return;
    case vantrel::DataFileCheck::Truncated:
        openError();
        return;
    case vantrel::DataFileCheck::Ok:
        break;
    }

    ConfigRecord = loaded;
    ConfigToForm();
    TakeConfigSnapshot();
    Log(QStringLiteral("File Loaded:"));
    Log(fileName);
}
