// The modal alert: its answers by button, Escape or closing, and its texts shown as plain text.
#include "platform/appkit/qt/Alert.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace appkit {
namespace {

QAbstractButton* buttonTitled(QMessageBox& box, const QString& title) {
    for (QAbstractButton* button : box.buttons()) {
        if (button->text() == title) {
            return button;
        }
    }
    return nullptr;
}

struct AnswerCase {
    std::string name;
    std::function<void(QMessageBox&)> answer;
    ModalResponse expected;
};

// The consent question's shape: two buttons, "Enable" first; its clicks are also met in the mixer's widget tests.
TEST(AlertTest, RunModal_AnswersByButtonOrderAndCountsEscapeOrClosingAsTheSecond) {
    const std::vector<AnswerCase> cases = {
        {"Enable", [](QMessageBox& box) { buttonTitled(box, "Enable")->click(); }, NSAlertFirstButtonReturn},
        {"Escape", [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); }, NSAlertSecondButtonReturn},
        {"closed", [](QMessageBox& box) { box.close(); }, NSAlertSecondButtonReturn},
    };
    for (const AnswerCase& answerCase : cases) {
        SCOPED_TRACE(answerCase.name);
        Alert alert;
        alert.setAlertStyle(AlertStyle::informational);
        alert.setMessageText("Launch <b>Tonvale</b> at Login?");
        alert.setInformativeText("You can change this later in <i>Settings</i>.");
        alert.addButtonWithTitle("Enable");
        alert.addButtonWithTitle("Not Now");
        std::vector<std::string> shown;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr) << "the alert is modal";
            for (QLabel* label : box->findChildren<QLabel*>()) {
                if (!label->text().isEmpty() && label->textFormat() == Qt::PlainText) {
                    shown.push_back(label->text().toStdString());
                }
            }
            EXPECT_EQ(box->icon(), QMessageBox::Information);
            answerCase.answer(*box);
        });

        EXPECT_EQ(alert.runModal(), answerCase.expected);

        // Texts are shown as they are, markup characters included.
        EXPECT_EQ(shown, (std::vector<std::string>{"Launch <b>Tonvale</b> at Login?",
                                                   "You can change this later in <i>Settings</i>."}));
    }
}

}  // namespace
}  // namespace appkit
