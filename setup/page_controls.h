#pragma once
// Builders for the controls of a page layout: each makes one control as a child of the
// page, gives it its resource id as object name (labels and group boxes have none) and
// places it at its dialog-unit position.

#include "setup/kerdal32_export.h"
#include <QStringList>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QWidget;

namespace kerdal {

KERDAL32_API QLabel* AddLabel(QWidget* page, const char* text, int x, int y, int w, int h);
QGroupBox* AddGroupBox(QWidget* page, const char* text, int x, int y, int w, int h);
KERDAL32_API QLineEdit* AddEdit(QWidget* page, int id, int x, int y, int w, int h);
// A drop-down list that the user cannot type into.
KERDAL32_API QComboBox* AddDropList(QWidget* page, int id, int x, int y, int w, int h);
KERDAL32_API QComboBox* AddDropList(QWidget* page, int id, const QStringList& items, int x, int y,
                                    int w, int h);
KERDAL32_API QCheckBox* AddCheckBox(QWidget* page, int id, const char* text, int x, int y, int w,
                                    int h, bool textLeft = false);
QRadioButton* AddRadioButton(QWidget* page, int id, const char* text, int x, int y, int w, int h);
KERDAL32_API QPushButton* AddPushButton(QWidget* page, int id, const char* text, int x, int y,
                                        int w, int h);

}  // namespace kerdal
