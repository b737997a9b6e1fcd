#include "ui/message_box.h"

#include <QMessageBox>
#include <cctype>

namespace zr {

MessageAnswer showMessage(QWidget* parent, const MessageRequest& request, const MessageHook& hook) {
    if (hook) {
        return hook(request);
    }
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (request.icon) {
        case MessageIcon::error:
            icon = QMessageBox::Critical;
            break;
        case MessageIcon::information:
            icon = QMessageBox::Information;
            break;
        case MessageIcon::question:
            icon = QMessageBox::Question;
            break;
        case MessageIcon::none:
            break;
    }
    const QMessageBox::StandardButtons buttons = request.buttons == MessageButtons::yesNo
                                                     ? QMessageBox::Yes | QMessageBox::No
                                                     : QMessageBox::Ok;
    QMessageBox box(icon, QString::fromStdString(request.title),
                    QString::fromStdString(request.text), buttons, parent);
    const int answer = box.exec();
    if (request.buttons == MessageButtons::ok) {
        return MessageAnswer::ok;
    }
    return answer == QMessageBox::Yes ? MessageAnswer::yes : MessageAnswer::no;
}

MessageRequest errorMessage(std::string text, std::string title) {
    return MessageRequest{std::move(title), std::move(text), MessageIcon::error,
                          MessageButtons::ok};
}

std::string asSentence(std::string text) {
    if (text.empty()) {
        return text;
    }
    text.front() = static_cast<char>(std::toupper(static_cast<unsigned char>(text.front())));
    if (text.back() != '.') {
        text += '.';
    }
    return text;
}

}  // namespace zr
