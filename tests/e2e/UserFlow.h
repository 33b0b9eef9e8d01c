#pragma once

// One user-visible flow per test: TEST_F(UserFlow, ...) gets a session with the program
// started in it. Folders the program should find are made in SetUpHome(), before it starts.

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfoList>

#include "e2e/Session.h"

class UserFlow : public ::testing::Test {
protected:
    void SetUp() override {
        SetUpHome(QDir(s.Home()));
        s.Start();
    }

    void TearDown() override {
        if (HasFailure()) {
            const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
            s.Report(QStringLiteral("%1.%2").arg(test->test_suite_name(), test->name()));
        }
    }

    virtual void SetUpHome(const QDir&) {}

    // Records for about length with the main window's buttons; returns once the file is done.
    void Record(std::chrono::milliseconds length);
    // Clicks the list's join and saves under name in the save dialog; returns once it closed.
    void JoinAs(const QString& name);

    Session s;
};

// The MP3 files directly in folder.
QFileInfoList Mp3Files(const QString& folder);
// A sound file's length as sox reads it; negative when sox cannot.
double DurationSeconds(const QString& file);
// A value of an INI file read as text, with sections and keys in any case; null when absent.
QString IniValue(const QString& file, const QString& section, const QString& key);
