#pragma once

// Helpers shared by the dialog's test programs (header only: every test program is one file).

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <deque>
#include <string>
#include <vector>

#include "ui/main_dialog.h"
#include "ui/preview_window.h"

namespace zr::testing {

// Answers message boxes from a queue of answers (OK when it runs dry) and records them.
class MessageRecorder {
  public:
    explicit MessageRecorder(MainDialog& dialog) {
        dialog.setMessageHook([this](const MessageRequest& request) {
            requests.push_back(request);
            if (answers.empty()) {
                return request.buttons == MessageButtons::yesNo ? MessageAnswer::yes
                                                                : MessageAnswer::ok;
            }
            const MessageAnswer answer = answers.front();
            answers.pop_front();
            return answer;
        });
    }
    std::vector<MessageRequest> requests;
    std::deque<MessageAnswer> answers;
};

// Selects a line of a list box the way a click does (the dialog reacts to it).
inline void userSelectsLine(MainDialog& dialog, int listBoxId, int row) {
    auto* list = qobject_cast<QListWidget*>(dialog.control(listBoxId));
    QVERIFY(list != nullptr);
    list->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
}

// Types `text` into an edit, replacing what it held.
inline void userTypes(MainDialog& dialog, int editId, const QString& text) {
    auto* edit = qobject_cast<QLineEdit*>(dialog.control(editId));
    QVERIFY(edit != nullptr);
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

}  // namespace zr::testing
