#pragma once
// The one window of the program. It owns all of the tool's state: the
// controls, the link to the unit, the report buffers and the exchange in
// progress, the configuration record and its snapshot, the MAC allocation
// list and the help viewer. Every operator action arrives here as a handler
// on the main thread.

#include "common/FixedPaths.h"
#include "app/ExchangeStates.h"
#include "app/OperatorDialogs.h"
#include "config/ConfigRecord.h"
#include "help/HelpViewer.h"
#include "mac/MacAllocationFile.h"
#include "device/HidBackend.h"
#include "protocol/Exchanges.h"
#include "protocol/Reports.h"

#include <QStringConverter>
#include <QStringList>
#include <QWidget>

#include <array>
#include <atomic>
#include <functional>
#include <memory>

class QCheckBox;
class QLineEdit;
class QSpinBox;

namespace Ui {
class TMainForm;
}

class Port1Comms;
class MainFormPeer;

// What the window needs from outside: the operator's dialogs, the HID layer
// and its fixed places. All three outlive the window. Off Windows the help
// goes to the desktop as `Desktop` has it.
struct MainFormServices {
    OperatorDialogs& Dialogs;
    vantrel::HidBackend& Hid;
    FixedPaths Paths;
    vantrel::DesktopHelp Desktop = vantrel::DesktopHelp::System();
};

class TMainForm : public QWidget {
    Q_OBJECT

public:
    explicit TMainForm(const MainFormServices& services, QWidget* parent = nullptr);
    ~TMainForm() override;

    // Start-up and close.
    void FormCreate();
    void FormCloseQuery(bool& CanClose);
    void FormClose();

    // Button handlers.
    void ExitButtonClick();
    void ClearButtonClick();
    void LoadButtonClick();
    void SaveButtonClick();
    void ReadButtonClick();
    void WriteButtonClick();
    void SendNewMACButtonClick();
    void HelpButtonClick();
    void InvertInputsCheckAllButtonClick();
    void InvertInputsCheckNoneButtonClick();
    void InvertOutputsCheckAllButtonClick();
    void InvertOutputsCheckNoneButtonClick();
    void OutputStartStatusCheckAllButtonClick();
    void OutputStartStatusCheckNoneButtonClick();

    // Configuration record and its binding to the controls.
    void SetDefaultConfig();
    void TakeConfigSnapshot();
    bool ConfigChanged() const;
    void FormToConfig();
    void ConfigToForm();

    // Data files. SaveConfigFile returns false when a file was chosen and
    // could not be written; a cancelled dialog is no failure.
    bool SaveConfigFile();
    void LoadConfigFile();

    // One line at the end of the log.
    void Log(const QString& line);

    // The link to the unit.
    void FindAndOpenDevice(std::string pattern);
    bool ConnectToUnit();

    // Reports and the exchange state machine. SendOutReport returns false
    // when the request could not be written; the exchange and the link are
    // then over.
    bool SendOutReport();
    void HandleInReport();
    bool CheckIdentReply(bool logIdentity);

    // The address check before a write; logs each failing group.
    bool CheckAddresses();

    // MAC allocation file.
    void LoadMacAllocationFile();
    // False when the operator chose to keep the window open.
    bool WriteBackMacAllocationFile();

    // Help viewer.
    void SetUpHelp();
    void CloseHelp();

    // What the window holds, to look at.
    Awaiting State() const { return ExchangeState; }
    bool Linked() const { return DeviceFound; } // a link to the unit stands
    const vantrel::ConfigRecord& Record() const { return ConfigRecord; }
    const vantrel::ConfigRecord& Snapshot() const { return ConfigSnapshot; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Runs a handler so that a failure inside it (a text that does not
    // convert, for instance) ends the handler and is shown in an error box;
    // the window stays open and the event loop goes on. Returns false when
    // the handler failed.
    bool RunGuarded(const std::function<void()>& handler);
    void ConnectHandlers();
    void ApplyFont();
    void SetGroupChecked(const std::array<QCheckBox*, 16>& group, bool checked);
    // Connects, sends 'S' and enters the exchange's first state.
    bool StartExchange(const WindowExchange& exchange);
    // The write and MAC address exchanges' states.
    void HandleProgrammingReport();
    // Sends OutReport and, when it went out, enters `nextState`.
    bool SendAndGo(Awaiting nextState);
    // Builds the request of `exchange` that leads to `nextState` in
    // OutReport, with BlockNumber as its block number, and sends it as
    // SendAndGo does.
    bool SendStep(const WindowExchange& exchange, Awaiting nextState, const vantrel::MacOctets& mac = {});
    // The receive thread's hand-over, on the main thread, once a report is
    // in InReport: HandleInReport as a handler runs.
    void HandleInReportGuarded();
    // A receive thread on the open link, not yet started.
    std::unique_ptr<Port1Comms> MakeReceiveThread();
    // The six octets "Send New MAC" sends: entries 5 to 2 of the allocation
    // list, then the two edits. Shows why and returns false when they
    // cannot be made.
    bool NewMacAddress(std::array<std::uint8_t, 6>& octets);
    // Stops the receive thread and closes both handles.
    void CloseLink();
    // The open failures logged during the current unit selection.
    QStringList OpenFailuresLogged;

    std::unique_ptr<Ui::TMainForm> ui;
    MainFormServices Services;

    std::array<QLineEdit*, 4> IPAddrEdits{};
    std::array<QLineEdit*, 4> GateWayAddrEdits{};
    std::array<QLineEdit*, 4> SubMaskAddrEdits{};
    std::array<QLineEdit*, 4> ClientAddrEdits{};
    std::array<QSpinBox*, 8> HysteresisSpinEdits{};
    std::array<QCheckBox*, 16> InvertInputsCheckBoxes{};
    std::array<QCheckBox*, 16> InvertOutputsCheckBoxes{};
    std::array<QCheckBox*, 16> OutputStartStatusCheckBoxes{};

    vantrel::ConfigRecord ConfigRecord{};
    vantrel::ConfigRecord ConfigSnapshot{};

    // Set by the main thread before the receive thread starts, cleared by the
    // receive thread when a read fails.
    std::atomic<bool> DeviceFound{false};
    std::unique_ptr<vantrel::HidHandle> DeviceWriteHandle;
    std::unique_ptr<vantrel::HidHandle> DeviceReadHandle; // used by the receive thread only
    vantrel::Report InReport{};
    vantrel::Report OutReport{};
    Awaiting ExchangeState = Awaiting::Nothing;
    std::uint8_t BlockNumber = 0;
    vantrel::BlockImage BlockImage{};

    QStringList MacAllocationList;
    QString HelpFilePath;
    std::uintptr_t HelpCookie = 0;
    std::unique_ptr<vantrel::HelpViewer> HelpLibrary;

    // Declared after the handles it reads from: it goes first.
    std::unique_ptr<Port1Comms> Port1;

    bool MacFileExisted = false; // at start-up, and readable
    vantrel::MacAllocationFile MacFileAsRead; // the file as read at start-up

    // The tests, the fuzz targets and the benchmarks set up and look into
    // the window's state through it (tests/support/MainFormPeer.h).
    friend class MainFormPeer;
};

// How many pixels the widest caption (label, check box, button) below
// `root` needs beyond its box at `font`; 0 or less when all fit.
int CaptionOverflow(const QWidget* root, const QFont& font);

// The window's title: "QUORVEX Vantrel" " Vesion: " "1.00" joined.
QString MainFormTitle();
