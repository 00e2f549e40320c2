#include "app/dlg_select_files.h"

#include "app/dialog_strings.h"
#include "setup/dialog_units.h"
#include "setup/page_controls.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

namespace tolvan::app {

namespace {

QListWidget* AddList(QWidget* dlg, int id, int x, int y, int w, int h) {
    auto* list = new QListWidget(dlg);
    list->setObjectName(QString::number(id));
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    kerdal::PlaceControl(list, x, y, w, h);
    return list;
}

}  // namespace

CDlgSelectFiles::CDlgSelectFiles(QWidget* parent, const QString& directory) : QDialog(parent) {
    setObjectName(QString::number(IDD));
    setWindowTitle(QString::fromLatin1(dlgtext::kSelectFilesCaption));

    QLabel* nameLabel = kerdal::AddLabel(this, dlgtext::kFileNameLabel, 6, 6, 76, 9);
    m_pFileName = kerdal::AddEdit(this, IDC_FILE_NAME, 6, 16, 90, 12);
    m_pFiles = AddList(this, IDC_FILE_LIST, 6, 32, 90, 68);
    QLabel* dirsLabel = kerdal::AddLabel(this, dlgtext::kDirectoriesLabel, 110, 6, 92, 9);
    // The folder being shown, as the standard file dialog names it above its folder list.
    m_pFolder = kerdal::AddLabel(this, "", 110, 18, 92, 9);
    m_pFolder->setObjectName(QString::number(IDC_FOLDER));
    m_pDirs = AddList(this, IDC_DIR_LIST, 110, 32, 92, 68);
    m_pDirs->setSelectionMode(QAbstractItemView::SingleSelection);
    QLabel* typeLabel = kerdal::AddLabel(this, dlgtext::kFileTypeLabel, 6, 104, 90, 9);
    m_pType = kerdal::AddDropList(this, IDC_FILE_TYPE,
                                  QStringList{QString::fromLatin1(dlgtext::kAllFilesFilter)}, 6,
                                  114, 90, 36);
    m_pType->setCurrentIndex(0);
    QLabel* drivesLabel = kerdal::AddLabel(this, dlgtext::kDrivesLabel, 110, 104, 92, 9);
    // One file-system root here; the list stays for the layout users know.
    m_pDrive =
        kerdal::AddDropList(this, IDC_DRIVE, QStringList{QDir::rootPath()}, 110, 114, 92, 68);
    m_pDrive->setCurrentIndex(0);
    // The labels' mnemonics move the focus to their controls (and show as underlines).
    nameLabel->setBuddy(m_pFileName);
    dirsLabel->setBuddy(m_pDirs);
    typeLabel->setBuddy(m_pType);
    drivesLabel->setBuddy(m_pDrive);

    kerdal::AddLabel(this, dlgtext::kListOfFilesLabel, 6, 134, 90, 9);
    m_pChosen = AddList(this, IDC_CHOSEN, 6, 144, 196, 60);
    m_pAdd = kerdal::AddPushButton(this, IDC_ADD, dlgtext::kAddButton, 208, 144, 50, 14);
    m_pDelete = kerdal::AddPushButton(this, IDC_DELETE, dlgtext::kDeleteButton, 208, 162, 50, 14);
    m_pAddAll = kerdal::AddPushButton(this, IDC_ADD_ALL, dlgtext::kAddAllButton, 208, 180, 50, 14);
    QPushButton* ok = kerdal::AddPushButton(this, 1, dlgtext::kOk, 208, 6, 50, 14);
    QPushButton* cancel = kerdal::AddPushButton(this, 2, dlgtext::kCancel, 208, 24, 50, 14);
    ok->setDefault(true);

    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_pAdd, &QPushButton::clicked, this, &CDlgSelectFiles::OnAdd);
    connect(m_pDelete, &QPushButton::clicked, this, &CDlgSelectFiles::OnDelete);
    connect(m_pAddAll, &QPushButton::clicked, this, &CDlgSelectFiles::OnAddAll);
    connect(m_pFiles, &QListWidget::itemSelectionChanged, this,
            &CDlgSelectFiles::OnFileSelectionChanged);
    connect(m_pChosen, &QListWidget::itemSelectionChanged, this, &CDlgSelectFiles::UpdateButtons);
    connect(m_pDirs, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { OnDirectoryActivated(m_pDirs->row(item)); });
    kerdal::FitPageLayout(this, 264, 210);

    if (!SetDirectory(directory.isEmpty() ? QDir::currentPath() : directory))
        SetDirectory(QDir::homePath());
    UpdateButtons();
}

bool CDlgSelectFiles::SetDirectory(const QString& directory) {
    const QFileInfo info(directory);
    if (!info.isDir() || !info.isReadable()) return false;
    m_strDirectory = QDir::cleanPath(info.absoluteFilePath());
    FillLists();
    return true;
}

void CDlgSelectFiles::FillLists() {
    const QDir dir(m_strDirectory);
    m_pFiles->clear();
    m_pFiles->addItems(dir.entryList(QDir::Files | QDir::Hidden, QDir::Name | QDir::IgnoreCase));
    m_pDirs->clear();
    QStringList dirs =
        dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    if (!dir.isRoot()) dirs.prepend(QStringLiteral(".."));
    m_pDirs->addItems(dirs);
    m_pFileName->clear();
    m_pFolder->setText(
        m_pFolder->fontMetrics().elidedText(m_strDirectory, Qt::ElideLeft, m_pFolder->width()));
    m_pFolder->setToolTip(m_strDirectory);
    UpdateButtons();
}

void CDlgSelectFiles::OnDirectoryActivated(int row) {
    if (row < 0) return;
    SetDirectory(QDir(m_strDirectory).filePath(m_pDirs->item(row)->text()));
}

void CDlgSelectFiles::OnFileSelectionChanged() {
    const QList<QListWidgetItem*> selected = m_pFiles->selectedItems();
    m_pFileName->setText(selected.size() == 1 ? selected.front()->text() : QString());
    UpdateButtons();
}

void CDlgSelectFiles::UpdateButtons() {
    m_pAdd->setEnabled(m_pFiles->count() > 0 && !m_pFiles->selectedItems().isEmpty());
    m_pDelete->setEnabled(m_pChosen->count() > 0 && !m_pChosen->selectedItems().isEmpty());
}

bool CDlgSelectFiles::AddChosenPath(const QString& path) {
    if (path.isEmpty()) return false;
    const QString asFolder = path.endsWith(u'/') ? path : path + u'/';
    for (int i = 0; i < m_pChosen->count(); ++i) {
        const QString listed = m_pChosen->item(i)->text();
        if (listed == path || listed.startsWith(asFolder)) return false;
    }
    m_pChosen->addItem(path);
    UpdateButtons();
    return true;
}

QStringList CDlgSelectFiles::ChosenPaths() const {
    QStringList paths;
    for (int i = 0; i < m_pChosen->count(); ++i) paths << m_pChosen->item(i)->text();
    return paths;
}

void CDlgSelectFiles::OnAdd() {
    const QString folder = m_strDirectory.endsWith(u'/') ? m_strDirectory : m_strDirectory + u'/';
    // In list order, not in the order the user clicked the entries.
    for (int i = 0; i < m_pFiles->count(); ++i)
        if (m_pFiles->item(i)->isSelected()) AddChosenPath(folder + m_pFiles->item(i)->text());
}

void CDlgSelectFiles::OnDelete() {
    for (int i = m_pChosen->count() - 1; i >= 0; --i)
        if (m_pChosen->item(i)->isSelected()) delete m_pChosen->takeItem(i);
    UpdateButtons();
}

void CDlgSelectFiles::OnAddAll() {
    m_pFiles->selectAll();
    OnAdd();
    m_pFiles->clearSelection();
}

void CDlgSelectFiles::accept() {
    m_files = ChosenPaths();
    QDialog::accept();
}

void CDlgSelectFiles::reject() {
    m_files.clear();
    QDialog::reject();
}

}  // namespace tolvan::app
