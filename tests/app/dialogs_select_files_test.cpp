// "Select a List of Files" on a real folder: browsing, the chosen list's rules, enabling.
#include "app/dlg_select_files.h"
#include "qt_test_support.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <map>

namespace tolvan::app {
namespace {

class SelectFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        for (const char* name : {"a", "ab", "Data.BIN", "sub/x"}) {
            QDir().mkpath(QFileInfo(dir.filePath(name)).path());
            QFile f(dir.filePath(name));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        }
        root = QDir::cleanPath(dir.path());
    }
    QListWidget* List(CDlgSelectFiles& d, int id) {
        return d.findChild<QListWidget*>(QString::number(id));
    }
    QPushButton* Button(CDlgSelectFiles& d, int id) {
        return d.findChild<QPushButton*>(QString::number(id));
    }
    void Select(CDlgSelectFiles& d, int listId, const QString& text) {
        const auto items = List(d, listId)->findItems(text, Qt::MatchExactly);
        ASSERT_EQ(items.size(), 1) << text.toStdString();
        items.front()->setSelected(true);
    }

    QTemporaryDir dir;
    QString root;
};

TEST_F(SelectFilesTest, BrowsesTheFolderAndItsSubfolders) {
    CDlgSelectFiles d(nullptr, dir.path());
    EXPECT_EQ(d.windowTitle(), QStringLiteral("Select a List of Files"));
    EXPECT_EQ(d.Directory(), root);
    EXPECT_EQ(List(d, 1120)->count(), 3);  // files only
    ASSERT_FALSE(List(d, 1121)->findItems(QStringLiteral("sub"), Qt::MatchExactly).isEmpty());
    Q_EMIT List(d, 1121)->itemActivated(
        List(d, 1121)->findItems(QStringLiteral("sub"), Qt::MatchExactly).front());
    EXPECT_EQ(d.Directory(), root + QStringLiteral("/sub"));
    ASSERT_EQ(List(d, 1120)->count(), 1);
    EXPECT_EQ(List(d, 1120)->item(0)->text(), QStringLiteral("x"));
    Q_EMIT List(d, 1121)->itemActivated(List(d, 1121)->item(0));  // ".."
    EXPECT_EQ(d.Directory(), root);
    EXPECT_FALSE(d.SetDirectory(dir.filePath("a")));  // a file is no folder
    EXPECT_EQ(d.Directory(), root);
}

TEST_F(SelectFilesTest, LabelsTypeAndDriveListsAndTheFolderShownAreFilled) {
    CDlgSelectFiles d(nullptr, dir.path());
    d.show();
    // A label's '&' marks its mnemonic: it takes the user to its control and is never drawn.
    std::map<QString, int> buddies;
    for (QLabel* label : d.findChildren<QLabel*>()) {
        if (!label->text().contains(u'&')) continue;
        ASSERT_NE(label->buddy(), nullptr) << label->text().toStdString();
        buddies[label->text()] = label->buddy()->objectName().toInt();
    }
    EXPECT_EQ(buddies, (std::map<QString, int>{{"File &Name:", 1152},
                                               {"&Directories:", 1121},
                                               {"List Files of &Type:", 1136},
                                               {"Dri&ves:", 1137}}));
    auto* type = d.findChild<QComboBox*>(QStringLiteral("1136"));
    auto* drive = d.findChild<QComboBox*>(QStringLiteral("1137"));
    ASSERT_TRUE(type && drive);
    EXPECT_EQ(type->currentText(), QStringLiteral("All Files (*)"));
    EXPECT_EQ(drive->currentText(), QStringLiteral("/"));
    EXPECT_EQ(d.FolderLabel()->toolTip(), root);
    EXPECT_TRUE(d.FolderLabel()->text().endsWith(QFileInfo(root).fileName()));
    ASSERT_TRUE(d.SetDirectory(root + "/sub"));
    EXPECT_TRUE(d.FolderLabel()->text().endsWith(QStringLiteral("/sub")));
    d.grab().save(test::GrabPath("select-files"));
}

TEST_F(SelectFilesTest, AddTakesTheSelectedFilesWithTheirCaseAndNeverTwice) {
    CDlgSelectFiles d(nullptr, dir.path());
    Select(d, 1120, "Data.BIN");
    Select(d, 1120, "a");
    Button(d, 116)->click();
    EXPECT_EQ(d.ChosenPaths(), (QStringList{root + "/a", root + "/Data.BIN"}));
    Button(d, 116)->click();
    EXPECT_EQ(d.ChosenPaths().size(), 2);
    EXPECT_TRUE(QFile::exists(d.ChosenPaths().back()));  // the name still finds the file
}

TEST_F(SelectFilesTest, APathThatIsALeadingFolderOfAListedOneIsRefused) {
    CDlgSelectFiles d(nullptr, dir.path());
    EXPECT_TRUE(d.AddChosenPath(root + "/sub/x"));
    EXPECT_FALSE(d.AddChosenPath(root + "/sub"));
    EXPECT_FALSE(d.AddChosenPath(root + "/sub/"));
    EXPECT_FALSE(d.AddChosenPath(root + "/sub/x"));
    EXPECT_FALSE(d.AddChosenPath(QString()));
    // Names that merely start alike are different files.
    EXPECT_TRUE(d.AddChosenPath(root + "/ab"));
    EXPECT_TRUE(d.AddChosenPath(root + "/a"));
    EXPECT_TRUE(d.AddChosenPath(root + "/su"));
    EXPECT_EQ(d.ChosenPaths().size(), 4);
}

TEST_F(SelectFilesTest, ButtonsFollowTheSelections) {
    CDlgSelectFiles d(nullptr, dir.path());
    EXPECT_FALSE(Button(d, 116)->isEnabled());
    EXPECT_FALSE(Button(d, 117)->isEnabled());
    Select(d, 1120, "ab");
    EXPECT_TRUE(Button(d, 116)->isEnabled());
    Button(d, 116)->click();
    EXPECT_FALSE(Button(d, 117)->isEnabled());  // listed but not selected
    List(d, 115)->item(0)->setSelected(true);
    EXPECT_TRUE(Button(d, 117)->isEnabled());
    Button(d, 117)->click();
    EXPECT_EQ(List(d, 115)->count(), 0);
    EXPECT_FALSE(Button(d, 117)->isEnabled());
    List(d, 1120)->clearSelection();
    EXPECT_FALSE(Button(d, 116)->isEnabled());
    ASSERT_TRUE(QFile::remove(root + "/sub/x"));
    ASSERT_TRUE(d.SetDirectory(root + "/sub"));  // an empty folder
    EXPECT_EQ(List(d, 1120)->count(), 0);
    EXPECT_FALSE(Button(d, 116)->isEnabled());
}

TEST_F(SelectFilesTest, AddAllAddsWhatIsMissingInListOrderAndDeleteRemovesTheSelected) {
    CDlgSelectFiles d(nullptr, dir.path());
    ASSERT_TRUE(d.AddChosenPath(root + "/ab"));
    Button(d, 118)->click();
    EXPECT_EQ(d.ChosenPaths(), (QStringList{root + "/ab", root + "/a", root + "/Data.BIN"}));
    EXPECT_TRUE(List(d, 1120)->selectedItems().isEmpty());
    EXPECT_FALSE(Button(d, 116)->isEnabled());

    List(d, 115)->item(0)->setSelected(true);
    List(d, 115)->item(2)->setSelected(true);
    Button(d, 117)->click();
    EXPECT_EQ(d.ChosenPaths(), (QStringList{root + "/a"}));
}

TEST_F(SelectFilesTest, OkGivesTheListCancelGivesNothing) {
    CDlgSelectFiles ok(nullptr, dir.path());
    ok.AddChosenPath(root + "/ab");
    ok.AddChosenPath(root + "/a");
    Button(ok, 1)->click();
    EXPECT_EQ(ok.result(), QDialog::Accepted);
    EXPECT_EQ(ok.m_files, (QStringList{root + "/ab", root + "/a"}));

    CDlgSelectFiles cancel(nullptr, dir.path());
    cancel.AddChosenPath(root + "/ab");
    Button(cancel, 2)->click();
    EXPECT_EQ(cancel.result(), QDialog::Rejected);
    EXPECT_TRUE(cancel.m_files.isEmpty());
}

}  // namespace
}  // namespace tolvan::app
