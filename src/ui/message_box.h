#pragma once

#include <functional>
#include <string>

class QWidget;

namespace zr {

enum class MessageIcon { none, error, information, question };
enum class MessageButtons { ok, yesNo };
enum class MessageAnswer { ok, yes, no };

// One message box as the dialog asks for it.
struct MessageRequest {
    std::string title;
    std::string text;
    MessageIcon icon = MessageIcon::error;
    MessageButtons buttons = MessageButtons::ok;
};

// Answers message boxes instead of the user (tests, scripted screenshots).
using MessageHook = std::function<MessageAnswer(const MessageRequest&)>;

// Shows a modal message box owned by `parent`, or hands it to `hook` when one is set.
MessageAnswer showMessage(QWidget* parent, const MessageRequest& request, const MessageHook& hook);

// The "Error" box with the error icon and an OK button.
MessageRequest errorMessage(std::string text, std::string title = "Error");
// A message that begins in lower case ("the file ... is missing") as a sentence of its own:
// capitalised and ended with a full stop.
std::string asSentence(std::string text);

}  // namespace zr
