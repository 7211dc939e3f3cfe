#pragma once
// Everything the window asks of the operator goes through this interface:
// modal message boxes and the two file dialogs. The program shows real
// dialogs; the tests answer from a script and record what was asked.

#include <QString>
#include <QStringList>

class QFileDialog;
class QWidget;

enum class MsgType { Error, Information, Confirmation };
enum class MsgButtons { Ok, YesNoCancel };
enum class MsgResult { Ok, Yes, No, Cancel };

// The filter of both file dialogs, as one text: pairs of a description and
// a pattern, separated by '|'.
inline const QString kDataFileFilter = QStringLiteral("Data Files (*.dat)|*.dat|All Files (*.*)|*.*");

#ifdef Q_OS_WIN
inline constexpr bool kWindowsFileDialogs = true;
#else
inline constexpr bool kWindowsFileDialogs = false;
#endif

// The filter split into the name filters a Qt file dialog gets, first one
// preselected. The captions stay "Data Files (*.dat)" and "All Files (*.*)"
// everywhere. On Windows "*.*" matches every file, so the name filters are
// the captions themselves. Elsewhere "*.*" matches only names with a dot, so
// each name filter carries after its caption the patterns it matches there:
// "Data Files (*.dat) (*.dat)", "All Files (*.*) (*)"; the dialog then shows
// the captions alone (ApplyDataFileFilters).
QStringList DataFileNameFilters(bool forWindows = kWindowsFileDialogs);

// Gives a file dialog the name filters above, the first one selected.
void ApplyDataFileFilters(QFileDialog& dialog);

class OperatorDialogs {
public:
    virtual ~OperatorDialogs() = default;

    // A modal box; returns the button the operator pressed.
    virtual MsgResult MessageDlg(const QString& text, MsgType type, MsgButtons buttons) = 0;

    // The chosen file's full name, or an empty text when the operator cancels.
    virtual QString PromptSaveFileName() = 0;
    virtual QString PromptOpenFileName() = 0;
};

// The real dialogs, modal over `parent`.
class QtOperatorDialogs final : public OperatorDialogs {
public:
    explicit QtOperatorDialogs(QWidget* parent = nullptr) : parent_(parent) {}
    void SetParent(QWidget* parent) { parent_ = parent; }

    MsgResult MessageDlg(const QString& text, MsgType type, MsgButtons buttons) override;
    QString PromptSaveFileName() override;
    QString PromptOpenFileName() override;

private:
    QString PromptFileName(bool save);
    QWidget* parent_;
};
