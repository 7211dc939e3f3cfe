#include "app/OperatorDialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

QStringList DataFileNameFilters(bool forWindows)
{
    const QStringList parts = kDataFileFilter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (forWindows) {
            filters << parts[i];
            continue;
        }
        // A Qt dialog takes the patterns from the last parentheses of a name
        // filter; "*" is what "*.*" means on Windows: every file.
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& pattern : patterns)
            if (pattern == QStringLiteral("*.*"))
                pattern = QStringLiteral("*");
        filters << parts[i] + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return filters;
}

void ApplyDataFileFilters(QFileDialog& dialog)
{
    // Shows each name filter without its last parentheses: the caption.
    dialog.setOption(QFileDialog::HideNameFilterDetails, !kWindowsFileDialogs);
    const QStringList filters = DataFileNameFilters();
    dialog.setNameFilters(filters);
    dialog.selectNameFilter(filters.first());
}

MsgResult QtOperatorDialogs::MessageDlg(const QString& text, MsgType type, MsgButtons buttons)
{
    QMessageBox box(parent_);
    switch (type) {
    case MsgType::Error:
        box.setIcon(QMessageBox::Critical);
        box.setWindowTitle(QStringLiteral("Error"));
        break;
    case MsgType::Information:
        box.setIcon(QMessageBox::Information);
        box.setWindowTitle(QStringLiteral("Information"));
        break;
    case MsgType::Confirmation:
        box.setIcon(QMessageBox::Question);
        box.setWindowTitle(QStringLiteral("Confirm"));
        break;
    }
    // Texts may carry Windows line breaks; a label breaks at '\n' alone.
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    box.setText(shown);
    box.setTextFormat(Qt::PlainText);
    if (buttons == MsgButtons::YesNoCancel) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::Cancel);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    switch (box.exec()) {
    case QMessageBox::Yes:
        return MsgResult::Yes;
    case QMessageBox::No:
        return MsgResult::No;
    case QMessageBox::Cancel:
        return MsgResult::Cancel;
    default:
        // Closing a Yes/No/Cancel box by its frame counts as Cancel.
        return buttons == MsgButtons::YesNoCancel ? MsgResult::Cancel : MsgResult::Ok;
    }
}

QString QtOperatorDialogs::PromptFileName(bool save)
{
    QFileDialog dialog(parent_);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    // An existing file is replaced without a question, and a name typed
    // without an extension is used as typed.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    ApplyDataFileFilters(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return QDir::toNativeSeparators(QFileInfo(dialog.selectedFiles().first()).absoluteFilePath());
}

QString QtOperatorDialogs::PromptSaveFileName()
{
    return PromptFileName(true);
}

QString QtOperatorDialogs::PromptOpenFileName()
{
    return PromptFileName(false);
}
