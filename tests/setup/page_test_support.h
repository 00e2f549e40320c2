#pragma once
// Shared by the page and sheet tests: the Qt application (offscreen), a recorder that
// answers the pages' message boxes, and lookup of controls by resource id.

#include "setup/page_message_box.h"
#include "setup/property_sheet.h"

#include <QApplication>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <gtest/gtest.h>

#include <vector>

namespace page_test {

inline void EnsureApplication() {
    if (QApplication::instance()) return;
    static int argc = 1;
    static char name[] = "test_setup";
    static char* argv[] = {name, nullptr};
    // Kept to the end of the process: destroying it among the exit handlers, after Qt's
    // own statics are gone, crashes.
    static QApplication* app = new QApplication(argc, argv);
    (void)app;
}

// Answers every page message with `answer` and keeps what was asked, for its lifetime.
class MessageRecorder {
public:
    explicit MessageRecorder(int answer = kerdal::kIdOk) : m_answer(answer) {
        m_previous = kerdal::SetPageMessageHook([this](const kerdal::MessageRequest& r) {
            requests.push_back(r);
            return m_answer;
        });
    }
    ~MessageRecorder() { kerdal::SetPageMessageHook(m_previous); }
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    std::vector<QString> Texts() const {
        std::vector<QString> texts;
        for (const auto& r : requests) texts.push_back(r.text);
        return texts;
    }
    void Clear() { requests.clear(); }

    std::vector<kerdal::MessageRequest> requests;

private:
    int m_answer;
    kerdal::MessageHook m_previous;
};

// The control with resource id `id` below `root`, as T; fails the test when missing.
template <typename T>
T* Ctl(const QWidget* root, int id) {
    T* control = root->findChild<T*>(QString::number(id));
    EXPECT_NE(control, nullptr) << "no control " << id;
    return control;
}

// The texts of a list's items, in order.
template <typename List>
QStringList Items(const List* list) {
    QStringList items;
    for (int i = 0; i < list->count(); ++i) items << list->itemText(i);
    return items;
}

// Fixture base: every page test runs with an application and a message recorder.
class PageTest : public ::testing::Test {
protected:
    // In the constructor, so that widgets among a derived fixture's members find it.
    PageTest() { EnsureApplication(); }
    MessageRecorder messages;
};

// A page test with one sheet, in which Show puts a page and opens it as the user meets it.
class SheetTest : public PageTest {
protected:
    void Show(kerdal::PropertyPage& page) {
        sheet.AddPage(&page);
        sheet.Open();
    }
    kerdal::PropertySheet sheet{QStringLiteral("Sheet")};
};

}  // namespace page_test
