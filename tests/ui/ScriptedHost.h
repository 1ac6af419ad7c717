// A modal host for tests: answers message boxes and file dialogs from a script,
// records what was asked, and decides what a nested modal run does.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include <QWidget>

#include "framework/CDialog.h"
#include "framework/ModalHost.h"

namespace korvane::testing {

class ScriptedHost : public framework::ModalHost {
public:
    struct Message {
        std::string text;
        std::string caption;
        framework::MessageButtons buttons;
        framework::MessageIcon icon;
    };
    struct ModalRun {
        int templateId;
        std::string title;
    };

    int ShowMessage(QWidget*, const std::string& text, const std::string& caption,
                    framework::MessageButtons buttons, framework::MessageIcon icon) override
    {
        messages.push_back({text, caption, buttons, icon});
        if (messageAnswers.empty()) return framework::IDOK;
        const int answer = messageAnswers.front();
        messageAnswers.pop_front();
        return answer;
    }

    std::vector<std::string> GetOpenFileNames(const framework::FileOpenRequest& request) override
    {
        fileRequests.push_back(request);
        if (fileAnswers.empty()) return {};
        std::vector<std::string> answer = fileAnswers.front();
        fileAnswers.pop_front();
        return answer;
    }

    int RunModal(framework::CDialog& dialog) override
    {
        modalRuns.push_back({dialog.Template().id, dialog.Template().title});
        return onModal ? onModal(dialog) : framework::IDCANCEL;
    }

    std::vector<Message> messages;
    std::deque<int> messageAnswers;  // default answer: OK
    std::vector<framework::FileOpenRequest> fileRequests;
    std::deque<std::vector<std::string>> fileAnswers;  // default: cancelled
    std::vector<ModalRun> modalRuns;
    std::function<int(framework::CDialog&)> onModal;  // default: closed at once
};

}  // namespace korvane::testing
