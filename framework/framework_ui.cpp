#include "framework/framework_ui.h"

namespace tfw {

FrameworkUi& TheFrameworkUi() {
    static FrameworkUi ui;
    return ui;
}

void ReportFrameworkError(const std::string& message) {
    auto& ui = TheFrameworkUi();
    if (ui.showError) ui.showError(message);
}

}  // namespace tfw
