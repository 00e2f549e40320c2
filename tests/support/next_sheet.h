// Drives the modal property sheet that a command or query brings up next, as a user would:
// on the next turn of the event loop `work` acts on the sheet, and then it is closed as
// `after` says. OK falls back to Cancel when the sheet refuses it, so a test cannot hang on
// an open sheet. For the widget tests only (needs the Qt application and the setup library).
#pragma once

#include "setup/property_sheet.h"

#include <QApplication>
#include <QObject>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <utility>

namespace tolvan::test {

enum class AfterWork { PressOk, PressCancel, Nothing };  // Nothing: `work` closes it

// A drive still pending when `guard` dies is dropped. The flag returned becomes true when a
// sheet came up; with `required` a missing sheet also fails the test.
inline std::shared_ptr<bool> OnNextSheet(QObject* guard,
                                         std::function<void(kerdal::PropertySheet&)> work,
                                         AfterWork after = AfterWork::PressOk,
                                         bool required = true) {
    auto shown = std::make_shared<bool>(false);
    QTimer::singleShot(0, guard, [work = std::move(work), after, required, shown] {
        auto* sheet = qobject_cast<kerdal::PropertySheet*>(QApplication::activeModalWidget());
        if (!sheet) {
            if (required) ADD_FAILURE() << "no modal sheet";
            return;
        }
        *shown = true;
        work(*sheet);
        if (after == AfterWork::Nothing || !sheet->IsRunning()) return;
        if (after == AfterWork::PressCancel || !sheet->PressOk()) sheet->PressCancel();
    });
    return shown;
}

}  // namespace tolvan::test
