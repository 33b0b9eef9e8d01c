#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "components/ProgramFolders.h"

// The program finds its skin and help both where the build puts them and where an install
// puts them; a wrong guess leaves an installed program without its windows.
TEST(ProgramFolders, DataBesideTheProgramInABuildTreeAndInShareWhenInstalled) {
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QDir dir(root.path());
    ASSERT_TRUE(dir.mkpath("build/bin") && dir.mkpath("usr/bin") &&
                dir.mkpath("usr/share/sonvara"));
    QFile bundle(dir.filePath("build/bin/mp3enc.dll"));
    ASSERT_TRUE(bundle.open(QIODevice::WriteOnly));
    bundle.close();

    EXPECT_EQ(ProgramFolders::DataFolder(dir.filePath("build/bin")), dir.filePath("build/bin"));
    EXPECT_EQ(ProgramFolders::DataFolder(dir.filePath("usr/bin")),
              dir.filePath("usr/share/sonvara"));
}
