#pragma once
// Operator dialogs answered from a script. Every box and file prompt is
// recorded in the order it was shown.

#include "app/OperatorDialogs.h"

#include <QString>

#include <deque>
#include <functional>
#include <vector>

struct ShownBox {
    QString Text;
    MsgType Type;
    MsgButtons Buttons;
};

class ScriptedDialogs final : public OperatorDialogs {
public:
    MsgResult MessageDlg(const QString& text, MsgType type, MsgButtons buttons) override
    {
        Boxes.push_back({text, type, buttons});
        if (OnBox)
            OnBox(Boxes.back());
        if (buttons == MsgButtons::Ok)
            return MsgResult::Ok;
        if (Answers.empty()) {
            UnexpectedQuestions++;
            return MsgResult::Cancel;
        }
        const MsgResult answer = Answers.front();
        Answers.pop_front();
        return answer;
    }

    QString PromptSaveFileName() override { return NextFile(SavePrompts); }
    QString PromptOpenFileName() override { return NextFile(OpenPrompts); }

    std::vector<QString> BoxTexts() const
    {
        std::vector<QString> texts;
        for (const auto& b : Boxes)
            texts.push_back(b.Text);
        return texts;
    }

    std::deque<MsgResult> Answers;  // for Yes/No/Cancel questions
    std::deque<QString> FileNames;  // "" stands for a cancelled file dialog
    std::vector<ShownBox> Boxes;
    std::function<void(const ShownBox&)> OnBox; // runs while the box is "open"
    int SavePrompts = 0;
    int OpenPrompts = 0;
    int UnexpectedQuestions = 0;
    int UnexpectedFilePrompts = 0;

private:
    QString NextFile(int& counter)
    {
        counter++;
        if (FileNames.empty()) {
            UnexpectedFilePrompts++;
            return {};
        }
        QString name = FileNames.front();
        FileNames.pop_front();
        return name;
    }
};
