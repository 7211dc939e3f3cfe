// The report handler: any sequence of input reports of 0 to 65 bytes, in
// any state of any exchange, handed to HandleInReport on the main thread as
// the receive thread does (only the bytes that came replace those of
// InReport), with a write handle that records every output report.
//
// Input: byte 0 the starting ExchangeState (as a signed byte: negative
// values, 0, the exchange states and values above them), byte 1 BlockNumber,
// byte 2 what else the input sets up (bit 0: the next 160 bytes are the
// configuration record; bit 1: the next 65 bytes are OutReport as earlier
// requests left it; bits 2-4: that many lines of the MAC allocation list,
// each a length byte and its bytes, then the two MAC edits the same way).
// Then steps until the input ends: 0xFE and four bytes sets ExchangeState
// (any 32-bit value), 0xFD makes the next write fail, 0xFC and one byte sets
// ExchangeState to that byte modulo 24; any other byte b delivers a report
// of b modulo 66 bytes taken from the input.
//
// Each step is checked against the state table, worked out here for the
// window's named states (app/ExchangeStates.h): which request goes out
// (always 65 bytes, report ID 0, its letter and second byte, the bytes it
// does not define left as they were), the next state and block number, the
// box and the log lines; a report in any state outside WriteIdentify (7) to
// ReadMac (20) changes nothing and sends nothing.

#include "FuzzWindow.h"

#include <QStringList>
#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

namespace {

FuzzWindow* W = nullptr;

struct Recorder {
    std::vector<vantrel::Report> Writes;
    bool FailNext = false;
};

class RecordingHandle final : public vantrel::HidHandle {
public:
    explicit RecordingHandle(Recorder& recorder) : recorder_(recorder) {}
    int ReadReport(std::uint8_t*, std::size_t, int) override { return -1; }
    void InterruptRead() override {}
    bool WriteReport(const std::uint8_t* report, std::size_t size) override
    {
        FUZZ_CHECK(size == vantrel::kReportSize);
        vantrel::Report copy;
        std::memcpy(copy.data(), report, size);
        recorder_.Writes.push_back(copy);
        const bool ok = !recorder_.FailNext;
        recorder_.FailNext = false;
        return ok;
    }

private:
    Recorder& recorder_;
};

Recorder Rec;

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool Empty() const { return at_ >= size_; }
    std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    // Up to n bytes: fewer when the input ends first.
    std::vector<std::uint8_t> Bytes(std::size_t n)
    {
        n = std::min(n, size_ - std::min(at_, size_));
        std::vector<std::uint8_t> part(data_ + at_, data_ + at_ + n);
        at_ += n;
        return part;
    }
    QString Text()
    {
        const auto bytes = Bytes(Byte());
        return QString::fromLatin1(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

std::optional<std::uint8_t> HexPair(const QString& text)
{
    const auto digit = [](QChar c) -> int {
        const char16_t u = c.unicode();
        if (u >= '0' && u <= '9')
            return u - '0';
        if (u >= 'A' && u <= 'F')
            return u - 'A' + 10;
        if (u >= 'a' && u <= 'f')
            return u - 'a' + 10;
        return -1;
    };
    if (text.size() < 2 || digit(text[0]) < 0 || digit(text[1]) < 0)
        return std::nullopt;
    return std::uint8_t(digit(text[0]) * 16 + digit(text[1]));
}

// The log's lines as the memo holds them (one text block each).
QStringList LogLines()
{
    const QTextDocument* log = W->Get<QPlainTextEdit>("LogMemo")->document();
    if (log->isEmpty())
        return {};
    QStringList lines;
    for (QTextBlock b = log->begin(); b.isValid(); b = b.next())
        lines << b.text();
    return lines;
}

// A message as the log shows it: characters that would end its line there
// (a unit's text may hold them) show as U+FFFD.
QString Shown(QString text)
{
    for (QChar& c : text)
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            c = QChar::ReplacementCharacter;
    return text;
}

struct Step {
    std::uint8_t letter;
    int second;       // byte 2: -1 not written, -2 BlockNumber, else the value
    int lastDefined;  // the request defines bytes up to this one (special fills aside)
    Awaiting next;
};

std::optional<Step> RequestOf(Awaiting state)
{
    using enum Awaiting;
    switch (state) {
    case WriteIdentify: return Step{'E', -1, 1, WriteErase};
    case WriteErase: return Step{'d', -2, 46, WriteBlock0Data};
    case WriteBlock0Data: return Step{'D', -2, 64, WriteBlock0Done};
    case WriteBlock0Done: return Step{'d', -2, 64, WriteBlock1Data};
    case WriteBlock1Data: return Step{'D', -2, 2, WriteBlock1Done};
    case WriteBlock1Done: return Step{'Z', -1, 1, DownloadEnd};
    case MacIdentify: return Step{'M', 'W', 8, DownloadEnd};
    case ReadIdentify: return Step{'r', -2, 2, ReadBlock0};
    case ReadBlock0: return Step{'R', -2, 2, ReadBlock0Done};
    case ReadBlock0Done: return Step{'r', -2, 2, ReadBlock1};
    case ReadBlock1: return Step{'R', -2, 2, ReadBlock1Done};
    case ReadBlock1Done: return Step{'M', 'R', 2, ReadMac};
    default: return std::nullopt;
    }
}

void CheckOneReport()
{
    using enum Awaiting;
    TMainForm& form = *W->Form;
    MainFormPeer peer(form);
    const Awaiting state = form.State();
    const std::uint8_t block = peer.BlockNumber();
    const vantrel::Report in = peer.InReport();
    const vantrel::Report outBefore = peer.OutReport();
    const std::size_t writes = Rec.Writes.size();
    const bool failNext = Rec.FailNext;
    const QStringList logBefore = LogLines();
    const QStringList macList = peer.MacAllocationList();
    const QString mac1 = W->Get<QLineEdit>("NewMAC1Edit")->text();
    const QString mac2 = W->Get<QLineEdit>("NewMAC2Edit")->text();
    W->Dialogs.Boxes.clear();

    form.HandleInReport();

    const auto& boxes = W->Dialogs.Boxes;
    const std::size_t sent = Rec.Writes.size() - writes;
    FUZZ_CHECK(sent <= 1);
    FUZZ_CHECK(peer.InReport() == in);

    if (state < WriteIdentify || state > ReadMac) {
        FUZZ_CHECK(sent == 0 && boxes.empty() && form.State() == state && peer.BlockNumber() == block);
        FUZZ_CHECK(peer.OutReport() == outBefore && LogLines() == logBefore);
        return;
    }

    const bool ours = in[2] == 0x00 && in[3] == 0x01 && in[4] == 0x05;
    const bool identifies = state == WriteIdentify || state == MacIdentify || state == ReadIdentify;
    if (identifies && !ours) {
        FUZZ_CHECK(sent == 0 && form.State() == Nothing && boxes.size() == 1);
        FUZZ_CHECK(boxes[0].Text == QStringLiteral("Application is not a QUORVEX Vantrel"));
        FUZZ_CHECK(LogLines() == logBefore);
        return;
    }
    QStringList logExpected = logBefore;
    if (state == WriteIdentify || state == ReadIdentify) {
        const auto* version = reinterpret_cast<const char*>(in.data() + 10);
        const qsizetype length = qsizetype(std::find(in.begin() + 10, in.end(), 0) - (in.begin() + 10));
        std::int32_t serial;
        std::memcpy(&serial, in.data() + 6, 4);
        logExpected << Shown(QStringLiteral("Appware Version:") + QString::fromLatin1(version, length))
                    << QStringLiteral("Serial Number: ") + QString::number(serial);
    }
    if (state == DownloadEnd || state == ReadMac) {
        FUZZ_CHECK(sent == 0 && form.State() == Nothing && boxes.size() == 1);
        FUZZ_CHECK(boxes[0].Text == QString::fromLatin1(state == DownloadEnd ? "Download Complete" : "Read Complete"));
        if (state == ReadMac) {
            QStringList octets;
            for (int i = 2; i < 8; ++i)
                octets << QStringLiteral("%1").arg(in[std::size_t(i)], 2, 16, QLatin1Char('0')).toUpper();
            FUZZ_CHECK(W->Get<QLineEdit>("MACAddressEdit")->text() == octets.join(QLatin1Char('.')));
            logExpected << QStringLiteral("Data read");
        }
        FUZZ_CHECK(LogLines() == logExpected);
        return;
    }

    std::array<std::uint8_t, 6> mac{};
    if (state == MacIdentify) {
        const QString sources[6] = {macList.value(5), macList.value(4), macList.value(3),
                                    macList.value(2), mac1, mac2};
        QString refusal;
        if (macList.size() < 6)
            refusal = QStringLiteral("MAC allocation file has fewer than 6 lines");
        for (std::size_t i = 0; i < 6 && refusal.isEmpty(); ++i) {
            const auto octet = HexPair(sources[i]);
            if (!octet)
                refusal = QStringLiteral("Invalid MAC octet: '%1'").arg(sources[i].left(2));
            else
                mac[i] = *octet;
        }
        if (!refusal.isEmpty()) {
            FUZZ_CHECK(sent == 0 && form.State() == Nothing && boxes.size() == 1 && boxes[0].Text == refusal);
            FUZZ_CHECK(LogLines() == logBefore);
            return;
        }
    }

    // A request goes out.
    const Step step = *RequestOf(state);
    FUZZ_CHECK(sent == 1);
    const vantrel::Report& out = Rec.Writes.back();
    FUZZ_CHECK(out == peer.OutReport());
    FUZZ_CHECK(out[0] == 0 && out[1] == step.letter);
    const std::uint8_t blockSent = (state == ReadIdentify) ? 0 : block;
    if (step.second == -1)
        FUZZ_CHECK(out[2] == outBefore[2]);
    else
        FUZZ_CHECK(out[2] == (step.second == -2 ? blockSent : step.second));
    for (int i = step.lastDefined + 1; i < 65; ++i)
        FUZZ_CHECK(out[std::size_t(i)] == outBefore[std::size_t(i)]);
    if (state == WriteErase)
        FUZZ_CHECK(out[3] == 0x55);
    if (state == WriteBlock0Data)
        for (int i = 3; i < 65; ++i)
            FUZZ_CHECK(out[std::size_t(i)] == 0xFF);
    if (state == WriteBlock0Done) {
        FUZZ_CHECK(out[34] == 0 && out[50] == outBefore[50]);
        for (int i = 51; i < 65; ++i)
            FUZZ_CHECK(out[std::size_t(i)] == 0xFF);
    }
    if (state == MacIdentify)
        FUZZ_CHECK(std::equal(mac.begin(), mac.end(), out.begin() + 3));

    if (failNext) {
        FUZZ_CHECK(form.State() == Nothing && boxes.size() == 1);
        FUZZ_CHECK(boxes[0].Text == QStringLiteral("Cannot write to QUORVEX"));
        FUZZ_CHECK(!peer.DeviceWriteHandle() && !form.Linked());
        FUZZ_CHECK(LogLines() == logExpected);
        return;
    }
    FUZZ_CHECK(boxes.empty() && form.State() == step.next);
    std::uint8_t blockAfter = block;
    if (identifies)
        blockAfter = 0;
    if (state == WriteBlock0Data)
        blockAfter = 1;
    if (state == WriteBlock1Data || state == ReadBlock0)
        blockAfter = std::uint8_t(block + 1);
    FUZZ_CHECK(peer.BlockNumber() == blockAfter);
    if (state == WriteBlock1Done)
        logExpected << QStringLiteral("Data downloaded");
    if (state == MacIdentify)
        logExpected << QStringLiteral("MAC Downloaded");
    FUZZ_CHECK(LogLines() == logExpected);
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
    MainFormPeer peer(form);
    Input input(data, size);

    // Any value, also one that names no state: the window ignores reports in it.
    const auto setState = [&](std::int32_t value) { peer.ExchangeState() = static_cast<Awaiting>(value); };
    setState(static_cast<std::int8_t>(input.Byte()));
    peer.BlockNumber() = input.Byte();
    const std::uint8_t setup = input.Byte();
    vantrel::ConfigRecord& record = peer.ConfigRecord();
    record = vantrel::ConfigRecord{};
    vantrel::SetDefaults(record);
    if (setup & 1) {
        const auto bytes = input.Bytes(sizeof record);
        std::copy(bytes.begin(), bytes.end(), reinterpret_cast<std::uint8_t*>(&record));
    }
    peer.OutReport().fill(0);
    if (setup & 2) {
        const auto bytes = input.Bytes(peer.OutReport().size());
        std::copy(bytes.begin(), bytes.end(), peer.OutReport().begin());
    }
    peer.InReport().fill(0);
    peer.BlockImage().fill(0);
    peer.MacAllocationList().clear();
    for (int n = (setup >> 2) & 7; n > 0; --n)
        peer.MacAllocationList() << input.Text();
    W->Get<QLineEdit>("NewMAC1Edit")->setText(input.Text());
    W->Get<QLineEdit>("NewMAC2Edit")->setText(input.Text());
    form.ClearButtonClick();
    Rec.Writes.clear();
    Rec.FailNext = false;

    while (!input.Empty()) {
        const std::uint8_t op = input.Byte();
        if (op == 0xFE) {
            const auto bytes = input.Bytes(4);
            std::int32_t state = 0;
            std::copy(bytes.begin(), bytes.end(), reinterpret_cast<std::uint8_t*>(&state));
            setState(state);
            continue;
        }
        if (op == 0xFD) {
            Rec.FailNext = true;
            continue;
        }
        if (op == 0xFC) {
            setState(input.Byte() % 24);
            continue;
        }
        // As the receive thread does: the bytes that came replace the
        // first ones of InReport, the others keep what they held.
        const auto report = input.Bytes(op % 66);
        std::copy(report.begin(), report.end(), peer.InReport().begin());
        // A link lost to a failed write comes back, as at the next press.
        if (!peer.DeviceWriteHandle())
            peer.DeviceWriteHandle() = std::make_unique<RecordingHandle>(Rec);
        CheckOneReport();
    }
    peer.DeviceWriteHandle().reset();
    return 0;
}
