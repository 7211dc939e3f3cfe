#include "app/MainForm.h"

#include "app/Port1Comms.h"

#include "ui_MainForm.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QFontInfo>

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>

#include <algorithm>
#include <exception>

QString MainFormTitle()
{
    return QStringLiteral("QUORVEX Vantrel") + QStringLiteral(" Vesion: ") + QStringLiteral("1.00");
}

namespace {
template <typename T, std::size_t N>
std::array<T*, N> FindNumbered(QWidget* root, const QString& pattern)
{
    std::array<T*, N> controls{};
    for (std::size_t i = 0; i < N; ++i) {
        controls[i] = root->findChild<T*>(pattern.arg(i + 1));
        Q_ASSERT(controls[i] != nullptr);
    }
    return controls;
}
} // namespace

TMainForm::TMainForm(const MainFormServices& services, QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::TMainForm>()), Services(services)
{
    ui->setupUi(this);

    IPAddrEdits = FindNumbered<QLineEdit, 4>(this, QStringLiteral("IPAddr%1Edit"));
    GateWayAddrEdits = FindNumbered<QLineEdit, 4>(this, QStringLiteral("GateWayAddr%1Edit"));
    SubMaskAddrEdits = FindNumbered<QLineEdit, 4>(this, QStringLiteral("SubMaskAddr%1Edit"));
    ClientAddrEdits = FindNumbered<QLineEdit, 4>(this, QStringLiteral("ClientAddr%1Edit"));
    HysteresisSpinEdits = FindNumbered<QSpinBox, 8>(this, QStringLiteral("Hysteresis%1CSpinEdit"));
    InvertInputsCheckBoxes = FindNumbered<QCheckBox, 16>(this, QStringLiteral("InvertInputsJvCheckBox%1"));
    InvertOutputsCheckBoxes = FindNumbered<QCheckBox, 16>(this, QStringLiteral("InvertOutputsJvCheckBox%1"));
    OutputStartStatusCheckBoxes =
        FindNumbered<QCheckBox, 16>(this, QStringLiteral("OutputStartStatusJvCheckBox%1"));

    // The record, the report buffers and the timeout and period fields hold
    // one byte each for these two values.
    ui->UpdatePeriodCSpinEdit->setRange(1, 255);
    ui->ServerTimeoutCSpinEdit->setRange(1, 255);

    // The log and the window use the button-face colour as background.
    QPalette logPalette = ui->LogMemo->palette();
    logPalette.setColor(QPalette::Base, logPalette.color(QPalette::Button));
    ui->LogMemo->setPalette(logPalette);
    // Every line the log gets moves its scroll bar. Filled with the window
    // colour it counts as opaque, so Qt repaints it alone, not the log's
    // frame, the group box and the pages beneath it as well; a see-through
    // bar (a style's transient one) must let the text beneath show.
    QScrollBar* logBar = ui->LogMemo->verticalScrollBar();
    logBar->setAutoFillBackground(!logBar->style()->styleHint(QStyle::SH_ScrollBar_Transient, nullptr, logBar));

    ApplyFont();
    ConnectHandlers();
    RunGuarded([this] { FormCreate(); });
}

TMainForm::~TMainForm()
{
    // The receive thread touches the window's buffers: it is stopped and
    // joined before any of them goes away.
    CloseLink();
}

int CaptionOverflow(const QWidget* root, const QFont& font)
{
    // How many pixels the widest (or tallest) caption needs beyond the room
    // its style draws it in, at `font` as each widget would take it from the
    // window. The room is asked of the widget's own style: a check box's text
    // starts after the indicator and the style's spacing, a button's sits
    // inside its bevel. The box counts, not the style's preferred size,
    // which holds a minimum button width and focus margins that clip
    // nothing. The page tabs are left out: the tab bar sizes them to their
    // texts.
    int overflow = 0;
    for (const QWidget* w : root->findChildren<QWidget*>()) {
        const QFontMetrics metrics(font.resolve(w->font()));
        const QStyle* style = w->style();
        QSize needed;
        QSize room;
        if (const auto* label = qobject_cast<const QLabel*>(w)) {
            if (label->textFormat() == Qt::RichText || label->wordWrap())
                continue;
            needed = metrics.size(Qt::TextShowMnemonic, label->text());
            room = label->contentsRect().size() - QSize(std::max(label->indent(), 0), 0);
        } else if (const auto* group = qobject_cast<const QGroupBox*>(w)) {
            if (group->title().isEmpty())
                continue;
            QStyleOptionGroupBox opt;
            opt.initFrom(group);
            opt.fontMetrics = metrics;
            opt.text = group->title();
            opt.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
            const QSize title(metrics.horizontalAdvance(group->title() + QLatin1Char(' ')), metrics.height());
            needed = QSize(style->sizeFromContents(QStyle::CT_GroupBox, &opt, title, group).width(), 0);
            room = group->size();
        } else if (const auto* button = qobject_cast<const QAbstractButton*>(w)) {
            QStyleOptionButton opt;
            opt.initFrom(button);
            opt.fontMetrics = metrics;
            opt.text = button->text();
            QStyle::SubElement contents = QStyle::SE_PushButtonContents;
            if (qobject_cast<const QCheckBox*>(button))
                contents = QStyle::SE_CheckBoxContents;
            else if (qobject_cast<const QRadioButton*>(button))
                contents = QStyle::SE_RadioButtonContents;
            else if (!qobject_cast<const QPushButton*>(button))
                continue;
            needed = metrics.size(Qt::TextShowMnemonic, button->text());
            room = QSize(style->subElementRect(contents, &opt, button).width(), button->height());
        } else {
            continue;
        }
        overflow = std::max({overflow, needed.width() - room.width(), needed.height() - room.height()});
    }
    return overflow;
}

void TMainForm::ApplyFont()
{
    // Tahoma at 11 pixels, or the desktop's sans font where there is no
    // Tahoma. The layout's boxes are fixed, and a font's widths differ from
    // one system to the next (Wine's Tahoma is wider than Windows' own), so
    // on every platform the size steps down from 11 pixels until every
    // caption fits its box whole.
    QFont font(QStringLiteral("Tahoma"));
    if (QFontInfo(font).family().compare(QStringLiteral("Tahoma"), Qt::CaseInsensitive) != 0)
        font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(11);
#ifdef Q_OS_WIN
    // Wine draws its Tahoma below 11 pixels without smoothing and drops
    // thin strokes ("l", "i"); smoothed they stay.
    font.setStyleStrategy(QFont::PreferAntialias);
#endif
    while (font.pixelSize() > 7 && CaptionOverflow(this, font) > 0)
        font.setPixelSize(font.pixelSize() - 1);
    setFont(font);
}

void TMainForm::ConnectHandlers()
{
    const auto bind = [this](QPushButton* button, void (TMainForm::*handler)()) {
        connect(button, &QPushButton::clicked, this, [this, handler] { RunGuarded([this, handler] { (this->*handler)(); }); });
    };
    bind(ui->ExitButton, &TMainForm::ExitButtonClick);
    bind(ui->ClearButton, &TMainForm::ClearButtonClick);
    bind(ui->LoadButton, &TMainForm::LoadButtonClick);
    bind(ui->SaveButton, &TMainForm::SaveButtonClick);
    bind(ui->ReadButton, &TMainForm::ReadButtonClick);
    bind(ui->WriteButton, &TMainForm::WriteButtonClick);
    bind(ui->SendNewMACButton, &TMainForm::SendNewMACButtonClick);
    bind(ui->HelpButton, &TMainForm::HelpButtonClick);
    bind(ui->InvertInputsCheckAllButton, &TMainForm::InvertInputsCheckAllButtonClick);
    bind(ui->InvertInputsCheckNoneButton, &TMainForm::InvertInputsCheckNoneButtonClick);
    bind(ui->InvertOutputsCheckAllButton, &TMainForm::InvertOutputsCheckAllButtonClick);
    bind(ui->InvertOutputsCheckNoneButton, &TMainForm::InvertOutputsCheckNoneButtonClick);
    bind(ui->OutputStartStatusCheckAllButton, &TMainForm::OutputStartStatusCheckAllButtonClick);
    bind(ui->OutputStartStatusCheckNoneButton, &TMainForm::OutputStartStatusCheckNoneButtonClick);
}

bool TMainForm::RunGuarded(const std::function<void()>& handler)
{
    try {
        handler();
        return true;
    } catch (const std::exception& e) {
        Services.Dialogs.MessageDlg(QString::fromStdString(e.what()), MsgType::Error, MsgButtons::Ok);
    } catch (...) {
        Services.Dialogs.MessageDlg(QString(), MsgType::Error, MsgButtons::Ok);
    }
    return false;
}

void TMainForm::FormCreate()
{
    setWindowTitle(MainFormTitle());
    ExchangeState = Awaiting::Nothing;
    ui->AdvPageControl1->setCurrentWidget(ui->GeneralAdvTabSheet);
    SetDefaultConfig();
    TakeConfigSnapshot();
    ConfigToForm();
    LoadMacAllocationFile();
    SetUpHelp();
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    bool CanClose = true;
    if (!RunGuarded([this, &CanClose] { FormCloseQuery(CanClose); }))
        CanClose = false;
    if (!CanClose) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

void TMainForm::FormCloseQuery(bool& CanClose)
{
    FormToConfig();
    if (ConfigChanged()) {
        switch (Services.Dialogs.MessageDlg(QStringLiteral("Data has changed\nSave now?"), MsgType::Confirmation,
                                            MsgButtons::YesNoCancel)) {
        case MsgResult::Cancel:
            CanClose = false;
            return;
        case MsgResult::Yes:
            // A save that was tried and failed keeps the window open, so the
            // changes are not lost; a cancelled save dialog still closes.
            if (!SaveConfigFile()) {
                CanClose = false;
                return;
            }
            break;
        default:
            break;
        }
    }
    if (!WriteBackMacAllocationFile()) {
        CanClose = false;
        return;
    }
    CanClose = true;
}

void TMainForm::FormClose()
{
    CloseHelp();
}

void TMainForm::ExitButtonClick()
{
    close();
}

void TMainForm::ClearButtonClick()
{
    ui->LogMemo->clear();
}

void TMainForm::Log(const QString& line)
{
    // One message, one line: a character that would start a new line in
    // the memo (a unit's version text or a file name may hold one) shows as
    // the replacement character instead.
    QString shown = line;
    for (QChar& c : shown) {
        const char16_t u = c.unicode();
        if (u == u'\n' || u == u'\r' || u == 0x2028 || u == 0x2029 || u == 0xFDD0 || u == 0xFDD1)
            c = QChar::ReplacementCharacter;
    }
    ui->LogMemo->appendPlainText(shown);
}


void TMainForm::SetGroupChecked(const std::array<QCheckBox*, 16>& group, bool checked)
{
    for (QCheckBox* box : group)
        box->setChecked(checked);
}

void TMainForm::InvertInputsCheckAllButtonClick()
{
    SetGroupChecked(InvertInputsCheckBoxes, true);
}

void TMainForm::InvertInputsCheckNoneButtonClick()
{
    SetGroupChecked(InvertInputsCheckBoxes, false);
}

void TMainForm::InvertOutputsCheckAllButtonClick()
{
    SetGroupChecked(InvertOutputsCheckBoxes, true);
}

void TMainForm::InvertOutputsCheckNoneButtonClick()
{
    SetGroupChecked(InvertOutputsCheckBoxes, false);
}

void TMainForm::OutputStartStatusCheckAllButtonClick()
{
    SetGroupChecked(OutputStartStatusCheckBoxes, true);
}

void TMainForm::OutputStartStatusCheckNoneButtonClick()
{
    SetGroupChecked(OutputStartStatusCheckBoxes, false);
}
