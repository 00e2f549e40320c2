#include "setup/page_controls.h"

#include "setup/dialog_units.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>

namespace kerdal {
namespace {

template <typename Control>
Control* Place(Control* control, int id, int x, int y, int w, int h) {
    if (id >= 0) control->setObjectName(QString::number(id));
    PlaceControl(control, x, y, w, h);
    return control;
}

}  // namespace

QLabel* AddLabel(QWidget* page, const char* text, int x, int y, int w, int h) {
    return Place(new QLabel(QString::fromLatin1(text), page), -1, x, y, w, h);
}

QGroupBox* AddGroupBox(QWidget* page, const char* text, int x, int y, int w, int h) {
    auto* box = new QGroupBox(QString::fromLatin1(text), page);
    box->lower();  // the controls inside are siblings drawn over it
    return Place(box, -1, x, y, w, h);
}

QLineEdit* AddEdit(QWidget* page, int id, int x, int y, int w, int h) {
    return Place(new QLineEdit(page), id, x, y, w, h);
}

QComboBox* AddDropList(QWidget* page, int id, int x, int y, int w, int h) {
    auto* list = new QComboBox(page);
    list->setEditable(false);
    list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    return Place(list, id, x, y, w, h);
}

QComboBox* AddDropList(QWidget* page, int id, const QStringList& items, int x, int y, int w,
                       int h) {
    QComboBox* list = AddDropList(page, id, x, y, w, h);
    list->addItems(items);
    list->setCurrentIndex(-1);
    return list;
}

QCheckBox* AddCheckBox(QWidget* page, int id, const char* text, int x, int y, int w, int h,
                       bool textLeft) {
    auto* box = new QCheckBox(QString::fromLatin1(text), page);
    if (textLeft) box->setLayoutDirection(Qt::RightToLeft);
    return Place(box, id, x, y, w, h);
}

QRadioButton* AddRadioButton(QWidget* page, int id, const char* text, int x, int y, int w, int h) {
    return Place(new QRadioButton(QString::fromLatin1(text), page), id, x, y, w, h);
}

QPushButton* AddPushButton(QWidget* page, int id, const char* text, int x, int y, int w, int h) {
    auto* button = new QPushButton(QString::fromLatin1(text), page);
    button->setAutoDefault(false);
    return Place(button, id, x, y, w, h);
}

}  // namespace kerdal
