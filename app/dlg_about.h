// CDlgAbout: the about box ("About Tolvane"): the program's icon, name and version.
#pragma once

#include <QDialog>

namespace tolvan::app {

inline constexpr const char* kVersionText = "Version 0.40";

class CDlgAbout : public QDialog {
    Q_OBJECT
public:
    explicit CDlgAbout(QWidget* parent = nullptr);
};

}  // namespace tolvan::app
