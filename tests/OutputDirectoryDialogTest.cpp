#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include "components/SonvaraError.h"
#include "config/FolderTree.h"
#include "config/IniSettings.h"
#include "config/dir.h"
#include "support/Wait.h"

namespace {

class OutputDirectoryDialogTest : public ::testing::Test {
protected:
    QStringList ChildNames(const QModelIndex& index) const {
        QStringList names;
        const QAbstractItemModel* model = dialog_.ShellTreeView1->model();
        for (int row = 0; row < model->rowCount(index); ++row)
            names << model->index(row, 0, index).data().toString();
        return names;
    }
    QString StoredPath() const { return ini_.ReadString("output", "path", "unset"); }
    void Mkpath(const QString& relative) const { ASSERT_TRUE(QDir(folder_).mkpath(relative)); }

    QTemporaryDir config_;
    IniSettings ini_{config_.filePath("Kelvo.ini")};
    QTemporaryDir temp_;
    QString folder_ = temp_.path();
    Tfm_dir dialog_{ini_};
};

TEST_F(OutputDirectoryDialogTest, OkRecordsAndAnnouncesTheSelectedFolder) {
    Mkpath("My Recorder");
    const QString chosen = folder_ + "/My Recorder";
    QSignalSpy spy(&dialog_, &Tfm_dir::PathChosen);
    dialog_.ShowAt({40, 50});
    ASSERT_TRUE(dialog_.SelectPath(chosen + "/"));
    dialog_.btn_ok->click();
    EXPECT_EQ(StoredPath(), chosen);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toString(), chosen);
    EXPECT_EQ(dialog_.ChosenPath(), chosen);
    EXPECT_FALSE(dialog_.isVisible());

    // Cancel forgets the choice and leaves the file alone.
    dialog_.ShowAt({40, 50});
    ASSERT_TRUE(dialog_.SelectPath(folder_));
    dialog_.btn_cancel->click();
    EXPECT_EQ(StoredPath(), chosen);
    EXPECT_EQ(spy.count(), 1);
    EXPECT_TRUE(dialog_.ChosenPath().isEmpty());
    EXPECT_FALSE(dialog_.isVisible());

    // Ok with nothing selected keeps the folder there was.
    dialog_.ShellTreeView1->clearSelection();
    dialog_.btn_ok->click();
    EXPECT_EQ(StoredPath(), chosen);
    EXPECT_EQ(spy.count(), 1);
}

TEST_F(OutputDirectoryDialogTest, ShowAtPlacesTheDialogWithoutBlocking) {
    dialog_.ShowAt({120, 80});
    EXPECT_TRUE(dialog_.isVisible());
    EXPECT_FALSE(dialog_.isModal());
    EXPECT_EQ(dialog_.pos(), QPoint(120, 80));
    EXPECT_EQ(dialog_.windowTitle(), "Output Directory");
}

TEST_F(OutputDirectoryDialogTest, TreeListsVisibleFoldersOnly) {
    Mkpath("beta/inner");
    Mkpath("Alpha");
    Mkpath(".hidden");
    QFile(folder_ + "/file.txt").open(QIODevice::WriteOnly);
    EXPECT_EQ(SubFolderNames(folder_), QStringList({"Alpha", "beta"}));
    ASSERT_TRUE(dialog_.SelectPath(folder_));
    dialog_.ShellTreeView1->expand(dialog_.ShellTreeView1->currentIndex());
    EXPECT_EQ(ChildNames(dialog_.ShellTreeView1->currentIndex()), QStringList({"Alpha", "beta"}));
    EXPECT_FALSE(dialog_.SelectPath(folder_ + "/.hidden"));
    EXPECT_FALSE(dialog_.SelectPath("relative/path"));
    EXPECT_EQ(dialog_.SelectedPath(), folder_);
    ASSERT_TRUE(dialog_.SelectPath("/"));
    EXPECT_EQ(dialog_.SelectedPath(), "/");
    ASSERT_TRUE(dialog_.SelectPath(QDir::homePath()));
    EXPECT_EQ(dialog_.SelectedPath(), QDir::cleanPath(QDir::homePath()));
}

TEST_F(OutputDirectoryDialogTest, RightClickSelectsANode) {
    dialog_.ShowAt({0, 0});
    QTreeView* tree = dialog_.ShellTreeView1;
    const QModelIndex root = tree->model()->index(1, 0);
    QTest::mouseClick(tree->viewport(), Qt::RightButton, {}, tree->visualRect(root).center());
    EXPECT_EQ(dialog_.SelectedPath(), "/");
}

TEST_F(OutputDirectoryDialogTest, NewFolderMakesOneFolderUnderTheSelection) {
    Mkpath("keep/open");
    ASSERT_TRUE(dialog_.SelectPath(folder_ + "/keep/open"));
    ASSERT_TRUE(dialog_.SelectPath(folder_));
    const QModelIndex parent = dialog_.ShellTreeView1->currentIndex();

    dialog_.Button1->click();
    dialog_.Button1->click();

    EXPECT_EQ(QDir(folder_).entryList(QDir::Dirs | QDir::NoDotAndDotDot),
              QStringList({"keep", "New Folder"}));
    EXPECT_EQ(dialog_.SelectedPath(), folder_);
    EXPECT_EQ(ChildNames(dialog_.ShellTreeView1->currentIndex()),
              QStringList({"keep", "New Folder"}));
    EXPECT_TRUE(dialog_.ShellTreeView1->isExpanded(parent));
    // The refresh keeps what the user had opened below the parent.
    const QModelIndex keep = dialog_.ShellTreeView1->model()->index(0, 0, parent);
    EXPECT_TRUE(dialog_.ShellTreeView1->isExpanded(keep));
    EXPECT_EQ(ChildNames(keep), QStringList({"open"}));
}

TEST_F(OutputDirectoryDialogTest, TheUserNamesTheNewFolderInPlace) {
    Mkpath("keep");
    ASSERT_TRUE(dialog_.SelectPath(folder_));
    dialog_.show();
    dialog_.Button1->click();
    auto* editor = dialog_.ShellTreeView1->findChild<QLineEdit*>();
    ASSERT_TRUE(editor);
    editor->setText("Aa talks");
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_TRUE(WaitFor([&] { return dialog_.SelectedPath() == folder_ + "/Aa talks"; }, 2000));
    EXPECT_EQ(ChildNames(dialog_.ShellTreeView1->currentIndex().parent()),
              QStringList({"Aa talks", "keep"}));
    // A taken or impossible name is told and the folder stays as it is.
    const std::pair<QString, QString> refused[] = {
        {"keep", "already holds"}, {"a/b", "cannot hold"}, {" ", "type a name"}};
    for (const auto& [name, told] : refused) {
        try {
            RenameFolder(folder_ + "/Aa talks", name);
            ADD_FAILURE() << "renamed to " << name.toStdString();
        } catch (const SonvaraError& error) {
            EXPECT_TRUE(error.message().contains(told)) << error.message().toStdString();
        }
    }
    EXPECT_EQ(QDir(folder_).entryList(QDir::Dirs | QDir::NoDotAndDotDot),
              QStringList({"Aa talks", "keep"}));
}

TEST_F(OutputDirectoryDialogTest, NewFolderPathNeverDoublesTheSeparator) {
    EXPECT_EQ(NewFolderPath("/"), "/New Folder");
    EXPECT_EQ(NewFolderPath("/home/ann"), "/home/ann/New Folder");
    EXPECT_EQ(NewFolderPath("/home/ann/"), "/home/ann/New Folder");
    EXPECT_EQ(NewFolderPath(""), "");
}

TEST_F(OutputDirectoryDialogTest, NewFolderWithoutSelectionDoesNothing) {
    const bool homeHadOne = QDir::home().exists("New Folder");
    const int topRows = dialog_.ShellTreeView1->model()->rowCount();
    EXPECT_NO_THROW(dialog_.Button1->click());
    EXPECT_EQ(QDir::home().exists("New Folder"), homeHadOne);
    EXPECT_EQ(dialog_.ShellTreeView1->model()->rowCount(), topRows);
    EXPECT_TRUE(dialog_.SelectedPath().isEmpty());
}

TEST_F(OutputDirectoryDialogTest, FoldersThatCannotBeMadeAreNotReported) {
    QFile(folder_ + "/plain").open(QIODevice::WriteOnly);
    EXPECT_FALSE(MakeNewFolder(folder_ + "/plain"));
    EXPECT_FALSE(MakeNewFolder(folder_ + "/missing"));
    EXPECT_FALSE(QDir(folder_).exists("missing"));

    // The selected folder went away behind the tree's back.
    Mkpath("gone/child");
    ASSERT_TRUE(dialog_.SelectPath(folder_ + "/gone"));
    ASSERT_TRUE(QDir(folder_ + "/gone").removeRecursively());
    EXPECT_NO_THROW(dialog_.Button1->click());
    EXPECT_TRUE(ChildNames(dialog_.ShellTreeView1->currentIndex()).isEmpty());
}

TEST_F(OutputDirectoryDialogTest, ReadOnlyFolderGetsNoNewFolderAndNoMessage) {
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
    Mkpath("locked");
    const QString locked = folder_ + "/locked";
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner);
    ASSERT_TRUE(dialog_.SelectPath(locked));
    EXPECT_NO_THROW(dialog_.Button1->click());
    EXPECT_FALSE(QDir(locked).exists("New Folder"));
    EXPECT_EQ(dialog_.SelectedPath(), locked);
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

}  // namespace
