// Every modal interaction of the dialogs (message boxes, the file-open dialog,
// a nested modal dialog) goes through a host, so tests can answer them without a person.
#pragma once

#include <string>
#include <vector>

#include "framework/NativeTypes.h"

namespace korvane::framework {

class CDialog;

// Command ids and message-box answers shared with the dialogs.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

enum class MessageButtons { Ok, OkCancel };
enum class MessageIcon { None, Exclamation, Question, Information };

struct FileOpenRequest {
    std::string filter;            // "description|pattern|...||"
    std::string defaultExtension;  // without the dot, e.g. "bin"
    std::string initialName;       // e.g. "*.bin"
    bool multiSelect = false;
};

class ModalHost {
public:
    virtual ~ModalHost() = default;

    // Returns IDOK or IDCANCEL (closing the box counts as Cancel, or OK when it has only OK).
    virtual int ShowMessage(NativeWidget owner, const std::string& text, const std::string& caption,
                            MessageButtons buttons, MessageIcon icon) = 0;
    // The chosen files as UTF-8 paths; empty when the user cancelled.
    virtual std::vector<std::string> GetOpenFileNames(const FileOpenRequest& request) = 0;
    // Runs `dialog` modally and returns its result.
    virtual int RunModal(CDialog& dialog) = 0;
};

// The process's real host: real dialogs shown to a person.
ModalHost& DefaultModalHost();

// Converts "BIN files (*.bin)|*.bin|All files|*.*||" to Qt's
// "BIN files (*.bin);;All files (*.*)"; patterns separated by ';' become blanks.
std::string ConvertFileFilter(const std::string& filter);

// The caption of framework-style message boxes: the application's name.
std::string ApplicationName();

}  // namespace korvane::framework
