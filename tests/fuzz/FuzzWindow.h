#pragma once
// What the window targets share: one QApplication on the offscreen platform,
// made once before the first input, and one window wired to scripted dialogs,
// no HID devices and fixed places in a temporary folder.

#include "FuzzCheck.h"
#include "app/MainForm.h"
#include "support/MainFormPeer.h"
#include "support/ScriptedDialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <memory>

class NoHidDevices final : public vantrel::HidBackend {
public:
    std::vector<vantrel::HidInterfaceInfo> Enumerate() override { return {}; }
    std::unique_ptr<vantrel::HidHandle> Open(const std::string&, vantrel::HidOpenMode, std::string&) override
    {
        return nullptr;
    }
};

class FuzzWindow {
public:
    // Made once, in LLVMFuzzerInitialize; lives until the process ends.
    static FuzzWindow& Make()
    {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "vantrel-fuzz";
        static char* argv[] = {name, nullptr};
        static QApplication app(argc, argv);
        static FuzzWindow window;
        return window;
    }

    QString Path(const char* name) const { return Dir.filePath(QString::fromLatin1(name)); }

    template <typename T>
    T* Get(const char* name) const
    {
        T* w = Form->findChild<T*>(QString::fromLatin1(name));
        FUZZ_CHECK(w != nullptr);
        return w;
    }

    // Every control's value and the log, as one text.
    QString Controls() const
    {
        QString all;
        for (const QLineEdit* e : Form->findChildren<QLineEdit*>())
            all += e->objectName() + QLatin1Char('=') + e->text() + QLatin1Char('\n');
        for (const QSpinBox* s : Form->findChildren<QSpinBox*>())
            all += s->objectName() + QLatin1Char('=') + QString::number(s->value()) + QLatin1Char('\n');
        for (const QCheckBox* b : Form->findChildren<QCheckBox*>())
            all += b->objectName() + QLatin1Char('=') + QLatin1Char(b->isChecked() ? '1' : '0') + QLatin1Char('\n');
        return all + Get<QPlainTextEdit>("LogMemo")->toPlainText();
    }

    QTemporaryDir Dir;
    ScriptedDialogs Dialogs;
    NoHidDevices Hid;
    std::unique_ptr<TMainForm> Form;

private:
    FuzzWindow()
    {
        FUZZ_CHECK(Dir.isValid());
        FixedPaths paths;
        paths.MacAllocationFile = Path("SetFullMACAddress.txt");
        paths.ProgramDir = Path("program");
        Form = std::make_unique<TMainForm>(MainFormServices{Dialogs, Hid, paths});
    }
};

inline QByteArray ReadWholeFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline void WriteWholeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    FUZZ_CHECK(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(f.write(bytes) == bytes.size());
}
