// CDlgSelectFiles: "Select a List of Files" (template 1536). A file browser (file name 1152,
// files 1120, folders 1121, type 1136, drive 1137) beside the list of chosen files 115 with
// "Add" (116), "Delete" (117) and "Add all" (118). The modem channel transmits the chosen
// files in their order.
//
// The chosen list never holds the same path twice, nor a path that is a leading folder of
// one listed. Paths keep their case and are compared exactly: file names on this system are
// case-sensitive, so folding them would name files that do not exist.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace tolvan::app {

class CDlgSelectFiles : public QDialog {
    Q_OBJECT
public:
    enum { IDD = 1536 };
    enum ControlId {
        IDC_CHOSEN = 115,
        IDC_ADD = 116,
        IDC_DELETE = 117,
        IDC_ADD_ALL = 118,
        IDC_FILE_LIST = 1120,
        IDC_DIR_LIST = 1121,
        IDC_FILE_TYPE = 1136,
        IDC_DRIVE = 1137,
        IDC_FOLDER = 1088,  // the folder shown
        IDC_FILE_NAME = 1152,
    };

    explicit CDlgSelectFiles(QWidget* parent = nullptr, const QString& directory = QString());

    // The folder being shown; the file and folder lists follow it. False (nothing changed)
    // when it is not a readable folder.
    bool SetDirectory(const QString& directory);
    QString Directory() const { return m_strDirectory; }
    // The line naming the folder shown.
    QLabel* FolderLabel() const { return m_pFolder; }

    // Adds one path to the chosen list unless the rule above refuses it; true when added.
    bool AddChosenPath(const QString& path);
    QStringList ChosenPaths() const;

    // The button actions, as a click runs them.
    void OnAdd();
    void OnDelete();
    void OnAddAll();

    // The chosen files after OK, in their order; empty after Cancel.
    QStringList m_files;

    void accept() override;
    void reject() override;

private:
    void FillLists();
    void UpdateButtons();
    void OnFileSelectionChanged();
    void OnDirectoryActivated(int row);

    QString m_strDirectory;
    QLineEdit* m_pFileName;
    QLabel* m_pFolder;
    QListWidget* m_pFiles;
    QListWidget* m_pDirs;
    QComboBox* m_pType;
    QComboBox* m_pDrive;
    QListWidget* m_pChosen;
    QPushButton* m_pAdd;
    QPushButton* m_pDelete;
    QPushButton* m_pAddAll;
};

}  // namespace tolvan::app
