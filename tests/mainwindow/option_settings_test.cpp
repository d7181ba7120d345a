#include "mainwindow/option_settings.h"
#include "platform/session/settings_store.h"

#include "tests/support/memory_store.h"

#include <gtest/gtest.h>

#include <QSettings>
#include <QTemporaryDir>

#include <map>

namespace {

using mainwindow::optionStateFromText;

using testsupport::MemoryStore;

TEST(OptionStateText, OnlyTheThreeStatesAreTakenAnythingElseIsUnticked)
{
    EXPECT_EQ(optionStateFromText("0"), 0);
    EXPECT_EQ(optionStateFromText("1"), 1);
    EXPECT_EQ(optionStateFromText("2"), 2);
    for (const char* bad : {"abc", "7", "-1", "", "1.5"})
        EXPECT_EQ(optionStateFromText(bad), 0) << bad;
}

TEST(OptionSettings, AnInvalidValueLeavesItsBoxUntickedAndTheOthersAreStillRestored)
{
    MemoryStore store;
    store.values["Form1/check1"] = "abc";
    store.values["Form1/check3"] = "1";
    store.values["Form1/check4"] = "2";
    EXPECT_EQ(mainwindow::restoreOptionStates(store), (mainwindow::OptionStates{0, 0, 1, 2}));
}

TEST(OptionSettings, SavedStatesAreInTheIniFileAndComeBackFromIt)
{
    QTemporaryDir dir;
    {
        platform::IniSettingsStore store(dir.path());
        mainwindow::saveOptionStates(store, {0, 1, 0, 1});
    }
    QSettings ini(dir.path() + "/Sorvane/Sorvane.ini", QSettings::IniFormat);
    EXPECT_EQ(ini.value("Form1/check1").toString(), "0");
    EXPECT_EQ(ini.value("Form1/check2").toString(), "1");
    EXPECT_EQ(ini.value("Form1/check3").toString(), "0");
    EXPECT_EQ(ini.value("Form1/check4").toString(), "1");

    platform::IniSettingsStore again(dir.path());
    EXPECT_EQ(mainwindow::restoreOptionStates(again), (mainwindow::OptionStates{0, 1, 0, 1}));
}

} // namespace
