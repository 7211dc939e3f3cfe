// The MAC allocation file through the window: loaded as at start-up, the
// two edits changed, written back as at close, and loaded and written back
// twice more with the edits as loaded.
//
// Input: byte 0 chooses how the edit texts are made (bits 0-1: 0 or 3
// printable ASCII, 1 one Latin-1 character per byte, 2 UTF-16 little-endian
// code units, lone surrogates and all; bit 2: keep the edits as loaded);
// then the byte length and bytes of NewMAC2Edit's text, the same for
// NewMAC1Edit, and the rest is the file.
//
// At every close the write-back either leaves the file byte for byte as it
// was and says so in a box, or writes a file that loads as the two edits in
// lines 1 and 2 and exactly the earlier lines 3 onward. Lines 3 onward are
// compared twice: as the window loads them, and as a reference reads them
// (the whole file decoded at once in the encoding its mark names, then
// split at CR LF, LF and CR). With printable edits and a file that ends on a
// whole code unit the write-back must not be refused.

#include "FuzzWindow.h"

#include <QStringDecoder>

#include <algorithm>

namespace {

FuzzWindow* W = nullptr;

QString EditText(int mode, const QByteArray& bytes)
{
    QString text;
    switch (mode) {
    case 0:
        for (char c : bytes)
            text += QChar(0x20 + static_cast<unsigned char>(c) % 95);
        break;
    case 1:
        text = QString::fromLatin1(bytes);
        break;
    default:
        for (qsizetype i = 0; i + 1 < bytes.size(); i += 2)
            text += QChar(char16_t(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8));
        break;
    }
    return text;
}

// The code unit size of the encoding the file's mark names.
int CodeUnitSize(const QByteArray& file)
{
    switch (QStringConverter::encodingForData(file).value_or(QStringConverter::Latin1)) {
    case QStringConverter::Utf16LE:
    case QStringConverter::Utf16BE:
        return 2;
    case QStringConverter::Utf32LE:
    case QStringConverter::Utf32BE:
        return 4;
    default:
        return 1;
    }
}

qsizetype MarkSize(const QByteArray& file)
{
    switch (QStringConverter::encodingForData(file).value_or(QStringConverter::Latin1)) {
    case QStringConverter::Utf8:
        return 3;
    case QStringConverter::Utf16LE:
    case QStringConverter::Utf16BE:
        return 2;
    case QStringConverter::Utf32LE:
    case QStringConverter::Utf32BE:
        return 4;
    default:
        return 0;
    }
}

bool EndsOnAWholeCodeUnit(const QByteArray& file)
{
    return (file.size() - MarkSize(file)) % CodeUnitSize(file) == 0;
}

QStringList ReferenceLines(const QByteArray& file)
{
    // Stateless: an unfinished character at the very end shows as U+FFFD
    // rather than waiting for more bytes.
    QStringDecoder decode(QStringConverter::encodingForData(file).value_or(QStringConverter::Latin1),
                          QStringConverter::Flag::Stateless);
    const QString text = decode(file);
    QStringList lines;
    QString line;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n')) {
            line += c;
            continue;
        }
        lines << line;
        line.clear();
        if (c == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n'))
            ++i;
    }
    if (!line.isEmpty())
        lines << line;
    return lines;
}

// One start and close. Returns false when the write-back was refused.
bool StartAndClose(const QString* newMac2, const QString* newMac1, bool mustWrite)
{
    TMainForm& form = *W->Form;
    const QString path = W->Path("SetFullMACAddress.txt");
    QLineEdit* mac2 = W->Get<QLineEdit>("NewMAC2Edit");
    QLineEdit* mac1 = W->Get<QLineEdit>("NewMAC1Edit");
    const QByteArray before = ReadWholeFile(path);

    mac2->clear();
    mac1->clear();
    form.LoadMacAllocationFile();
    const QStringList loaded = MainFormPeer(form).MacAllocationList();
    FUZZ_CHECK(!mac2->isHidden() && !mac1->isHidden());
    FUZZ_CHECK(mac2->text() == loaded.value(0));
    FUZZ_CHECK(mac1->text() == loaded.value(1));
    if (newMac2)
        mac2->setText(*newMac2);
    if (newMac1)
        mac1->setText(*newMac1);
    const QString edit2 = mac2->text();
    const QString edit1 = mac1->text();

    W->Dialogs.Boxes.clear();
    form.WriteBackMacAllocationFile();
    const QByteArray after = ReadWholeFile(path);

    if (!W->Dialogs.Boxes.empty()) {
        FUZZ_CHECK(!mustWrite);
        FUZZ_CHECK(W->Dialogs.Boxes.size() == 1);
        FUZZ_CHECK(W->Dialogs.Boxes[0].Text
                   == QStringLiteral("MAC allocation file not written: it would not read back exactly\n") + path);
        FUZZ_CHECK(after == before);
        return false;
    }

    // What the next start reads.
    mac2->clear();
    mac1->clear();
    form.LoadMacAllocationFile();
    const QStringList again = MainFormPeer(form).MacAllocationList();
    FUZZ_CHECK(again.size() == std::max<qsizetype>(2, loaded.size()));
    FUZZ_CHECK(again[0] == edit2);
    FUZZ_CHECK(again[1] == edit1);
    FUZZ_CHECK(again.mid(2) == loaded.mid(2));
    FUZZ_CHECK(QStringConverter::encodingForData(after) == QStringConverter::encodingForData(before));
    FUZZ_CHECK(EndsOnAWholeCodeUnit(after));
    if (EndsOnAWholeCodeUnit(before))
        FUZZ_CHECK(ReferenceLines(after).mid(2) == ReferenceLines(before).mid(2));
    return true;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    W = &FuzzWindow::Make();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    qsizetype at = 0;
    const auto take = [&](qsizetype n) {
        const QByteArray part = input.mid(at, n);
        at = std::min(at + n, input.size());
        return part;
    };
    const QByteArray head = take(1);
    const int flags = head.isEmpty() ? 0 : static_cast<unsigned char>(head[0]);
    const int mode = (flags & 3) % 3;
    const bool keepLoaded = (flags & 4) != 0;
    const QByteArray n2 = take(1);
    const QString newMac2 = EditText(mode, take(n2.isEmpty() ? 0 : static_cast<unsigned char>(n2[0])));
    const QByteArray n1 = take(1);
    const QString newMac1 = EditText(mode, take(n1.isEmpty() ? 0 : static_cast<unsigned char>(n1[0])));
    const QByteArray file = input.mid(at);

    WriteWholeFile(W->Path("SetFullMACAddress.txt"), file);
    const bool plain = mode == 0 && !keepLoaded && EndsOnAWholeCodeUnit(file);
    if (keepLoaded)
        StartAndClose(nullptr, nullptr, false);
    else
        StartAndClose(&newMac2, &newMac1, plain);

    // Started and closed again with the edits as loaded: a written file
    // stays as it is from now on.
    const bool written = StartAndClose(nullptr, nullptr, plain);
    const QByteArray settled = ReadWholeFile(W->Path("SetFullMACAddress.txt"));
    FUZZ_CHECK(StartAndClose(nullptr, nullptr, written) == written);
    FUZZ_CHECK(ReadWholeFile(W->Path("SetFullMACAddress.txt")) == settled);
    return 0;
}
