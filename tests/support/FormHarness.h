#pragma once
// A main window wired to scripted dialogs, a HID backend chosen by the test
// and fixed places in a temporary folder.

#include "app/MainForm.h"
#include "device/HidBackend.h"
#include "support/MainFormPeer.h"
#include "support/ScriptedDialogs.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <memory>

// Test texts are plain ASCII.
inline QString S(const char* text)
{
    return QString::fromLatin1(text);
}

// Readable QString values in test failures.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

// A file with exactly these bytes, its folder made when missing.
// Skips a case that holds what the tool does off Windows only.
#ifdef Q_OS_WIN
#define SKIP_ON_WINDOWS(why) GTEST_SKIP() << (why)
#else
#define SKIP_ON_WINDOWS(why) static_cast<void>(0)
#endif

inline void WriteFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// A file's bytes, or "<missing>".
inline QByteArray ReadFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// The widget that the Tab key moves to from `w`.
inline QWidget* NextTabStop(QWidget* w)
{
    for (QWidget* next = w->nextInFocusChain(); next != w; next = next->nextInFocusChain())
        if ((next->focusPolicy() & Qt::TabFocus) && next->focusProxy() == nullptr && next->isEnabled())
            return next;
    return w;
}

class NoHidDevices final : public vantrel::HidBackend {
public:
    std::vector<vantrel::HidInterfaceInfo> Enumerate() override { return {}; }
    std::unique_ptr<vantrel::HidHandle> Open(const std::string&, vantrel::HidOpenMode, std::string&) override
    {
        return nullptr;
    }
};

class FormHarness {
public:
    explicit FormHarness(vantrel::HidBackend* hid = nullptr) : hid_(hid ? hid : &noDevices_)
    {
        Paths.MacAllocationFile = Dir.filePath(QStringLiteral("DravonSetMACAddress/SetFullMACAddress.txt"));
        Paths.ProgramDir = Dir.filePath(QStringLiteral("program"));
    }

    // Creates the window (running its start-up) once the test has arranged
    // the fixed places.
    TMainForm& Create()
    {
        const vantrel::DesktopHelp desktop{[this](const QUrl& url) {
                                               OpenedUrls << url;
                                               return DesktopOpens;
                                           },
                                           [this] { return ChmViewerInstalled; }};
        Form = std::make_unique<TMainForm>(MainFormServices{Dialogs, *hid_, Paths, desktop});
        return *Form;
    }

    template <typename T>
    T* Get(const QString& name) const
    {
        T* w = Form->findChild<T*>(name);
        if (!w)
            ADD_FAILURE() << "no control " << name.toStdString();
        return w;
    }
    QLineEdit* Edit(const QString& name) const { return Get<QLineEdit>(name); }
    QCheckBox* Box(const QString& name) const { return Get<QCheckBox>(name); }
    QSpinBox* Spin(const QString& name) const { return Get<QSpinBox>(name); }

    void Click(const QString& buttonName) const
    {
        QTest::mouseClick(Get<QPushButton>(buttonName), Qt::LeftButton);
    }

    void SetText(const QString& editName, const QString& text) const
    {
        QLineEdit* edit = Edit(editName);
        edit->clear();
        QTest::keyClicks(edit, text);
    }

    QStringList LogLines() const
    {
        const QString text = Get<QPlainTextEdit>(QStringLiteral("LogMemo"))->toPlainText();
        return text.isEmpty() ? QStringList{} : text.split(QLatin1Char('\n'));
    }

    // Asks the window to close, as the close box does. True when it closed.
    bool RequestClose() const
    {
        Form->show();
        return Form->close();
    }

    QTemporaryDir Dir;
    FixedPaths Paths;
    ScriptedDialogs Dialogs;
    // The desktop the help is handed to off Windows: it records what it is
    // asked to open and starts nothing.
    bool ChmViewerInstalled = true;
    bool DesktopOpens = true;
    QList<QUrl> OpenedUrls;
    std::unique_ptr<TMainForm> Form;

private:
    NoHidDevices noDevices_;
    vantrel::HidBackend* hid_;
};
