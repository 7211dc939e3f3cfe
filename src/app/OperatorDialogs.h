#pragma once
// Everything the window asks of the operator goes through this interface:
// modal message boxes and the two file dialogs. The program shows real
// dialogs; the tests answer from a script and record what was asked.

#include <QString>
#include <QStringList>

class QWidget;

enum class MsgType { Error, Information, Confirmation };
enum class MsgButtons { Ok, YesNoCancel };
enum class MsgResult { Ok, Yes, No, Cancel };

// The filter of both file dialogs, as one text: pairs of a description and
// a pattern, separated by '|'.
inline const QString kDataFileFilter = QStringLiteral("Data Files (*.dat)|*.dat|All Files (*.*)|*.*");

// The filter split into the name filters a Qt file dialog shows, first one
// preselected: "Data Files (*.dat)", "All Files (*.*)".
QStringList DataFileNameFilters();

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
