#include "app/dlg_about.h"

#include "app/app_strings.h"
#include "app/toolbar_icons.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace tolvan::app {

CDlgAbout::CDlgAbout(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About Tolvane"));
    auto* grid = new QGridLayout(this);
    auto* icon = new QLabel(this);
    icon->setPixmap(ProgramIcon(2).pixmap(32, 32));
    grid->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    grid->addWidget(new QLabel(AppText(str::MainTitle), this), 0, 1);
    auto* version = new QLabel(QString::fromLatin1(kVersionText), this);
    version->setIndent(
        version->fontMetrics().horizontalAdvance(QStringLiteral("        ")));  // a tab's indent
    grid->addWidget(version, 1, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    grid->addWidget(buttons, 0, 2, 2, 1, Qt::AlignTop);
    setSizeGripEnabled(false);
}

}  // namespace tolvan::app
