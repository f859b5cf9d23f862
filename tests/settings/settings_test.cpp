// The settings' fall-back rules, run against the registry on Windows and the store file
// elsewhere: both must give the same answers.

#include <cstring>
#include <string>
#include "settings/store_fixture.h"

namespace {

class SettingsTest : public StoreTest {
  protected:
    // What the store tells the user: the registry has no one to tell.
    static void Capture() {
#ifndef _WIN32
        testing::internal::CaptureStderr();
#endif
    }
    // All that was told since Capture.
    static void ExpectTold(const std::string& told) {
#ifndef _WIN32
        EXPECT_EQ(testing::internal::GetCapturedStderr(), told);
#else
        (void)told;
#endif
    }
};

void ExpectDefaults() {
    EXPECT_EQ(g_settings.delay, 10);
    EXPECT_EQ(g_settings.position, 1);
    EXPECT_EQ(g_settings.mode, 0);
    EXPECT_EQ(g_settings.size, 0);
    EXPECT_EQ(g_settings.subdirs, 0);
    EXPECT_EQ(g_settings.random, 0);
    EXPECT_STREQ(g_settings.path, "C:\\Fotovane Images");
    EXPECT_EQ(g_settings.formats, DefaultFormats);
}

TEST_F(SettingsTest, LoadWithoutKeyGivesDefaults) {
    std::memset(&g_settings, 0x55, sizeof g_settings);
    LoadSettings();
    ExpectDefaults();

    StoreKey key;
#ifdef _WIN32
    // The registry's open creates the key, empty, with its class.
    char keyClass[64] = "";
    ASSERT_EQ(StoreQueryKeyClass(SettingsKeyPath(), keyClass, sizeof keyClass), StoreOk);
    EXPECT_STREQ(keyClass, "binary");
    ASSERT_EQ(StoreOpenKey(SettingsKeyPath(), &key), StoreOk);
    uint32_t type = 0;
    uint8_t data[4];
    uint32_t size = sizeof data;
    EXPECT_EQ(StoreQueryValue(key, "delay", &type, data, &size), StoreNotFound);
    StoreCloseKey(key);
#else
    // The store file is written by a save only.
    EXPECT_EQ(StoreOpenKey(SettingsKeyPath(), &key), StoreNotFound);
    EXPECT_EQ(access((home_ + "/fotovane").c_str(), F_OK), -1);
#endif
}

TEST_F(SettingsTest, DelayOnlyCountsAsFourByteDword) {
    PutSetting("delay", StoreTypeBinary, {7, 0, 0, 0});
    LoadSettings();
    EXPECT_EQ(g_settings.delay, 10);

    PutSetting("delay", StoreTypeQword, {7, 0, 0, 0, 0, 0, 0, 0});
    LoadSettings();
    EXPECT_EQ(g_settings.delay, 10);

    PutSetting("delay", StoreTypeDword, {0xff, 0xff, 0xff, 0xff});
    LoadSettings();
    EXPECT_EQ(g_settings.delay, -1);
}

TEST_F(SettingsTest, EachValueFallsBackOnItsOwn) {
    PutSetting("delay", StoreTypeDword, {3, 0, 0, 0});
    PutSetting("mode", StoreTypeSz, Text("1"));
    LoadSettings();
    EXPECT_EQ(g_settings.delay, 3);
    EXPECT_EQ(g_settings.mode, 0);
    EXPECT_EQ(g_settings.position, 1);
    EXPECT_STREQ(g_settings.path, "C:\\Fotovane Images");
}

TEST_F(SettingsTest, PathMustBeAPlainStringThatFits) {
    PutSetting("path", StoreTypeExpandSz, Text("%USERPROFILE%\\Pictures"));
    LoadSettings();
    EXPECT_STREQ(g_settings.path, "C:\\Fotovane Images");

    PutSetting("path", StoreTypeSz, Text("C:\\" + std::string(297, 'a')));
    Capture();
    LoadSettings();
    EXPECT_STREQ(g_settings.path, "C:\\Fotovane Images");
    ReadStringValue(g_settings.path, "path", "/home/u/Pictures");  // as the X11 saver does
    EXPECT_STREQ(g_settings.path, "/home/u/Pictures");
    // Told once while the same reading lasts.
    ExpectTold("fotovane: " + home_ +
               "/fotovane/registry.reg: \"path\" is longer than 259 bytes; "
               "the default is used\n");

    const std::string longest = "C:\\" + std::string(256, 'b');
    ASSERT_EQ(longest.size(), 259u);
    PutSetting("path", StoreTypeSz, Text(longest));
    Capture();
    LoadSettings();
    EXPECT_EQ(std::string(g_settings.path), longest);
    ExpectTold("");

    PutSetting("path", StoreTypeSz, Text("D:\\Holiday"));
    LoadSettings();
    EXPECT_STREQ(g_settings.path, "D:\\Holiday");
}

TEST_F(SettingsTest, SaveThenLoadKeepsEveryValueAsItIs) {
    g_settings.delay = -5;
    g_settings.position = 7;
    g_settings.mode = 5;
    g_settings.size = -1;
    g_settings.subdirs = 2;
    g_settings.random = 1;
    std::strcpy(g_settings.path, "E:\\Photos\\2026 \"best\"");
    EXPECT_TRUE(SaveSettings());

    std::memset(&g_settings, 0, sizeof g_settings);
    LoadSettings();
    EXPECT_EQ(g_settings.delay, -5);
    EXPECT_EQ(g_settings.position, 7);
    EXPECT_EQ(g_settings.mode, 5);
    EXPECT_EQ(g_settings.size, -1);
    EXPECT_EQ(g_settings.subdirs, 2);
    EXPECT_EQ(g_settings.random, 1);
    EXPECT_STREQ(g_settings.path, "E:\\Photos\\2026 \"best\"");

    StoreKey key;
    ASSERT_EQ(StoreOpenKey(SettingsKeyPath(), &key), StoreOk);
    uint32_t type = 0;
    uint8_t data[64];
    uint32_t size = sizeof data;
    ASSERT_EQ(StoreQueryValue(key, "path", &type, data, &size), StoreOk);
    EXPECT_EQ(type, StoreTypeSz);
    EXPECT_EQ(size, std::strlen(g_settings.path) + 1);
    size = sizeof data;
    ASSERT_EQ(StoreQueryValue(key, "delay", &type, data, &size), StoreOk);
    EXPECT_EQ(type, StoreTypeDword);
    EXPECT_EQ(size, 4u);
    StoreCloseKey(key);
    char keyClass[64] = "";
    ASSERT_EQ(StoreQueryKeyClass(SettingsKeyPath(), keyClass, sizeof keyClass), StoreOk);
    EXPECT_STREQ(keyClass, "binary");
}

TEST_F(SettingsTest, FormatsAreReadWhenStoredAndWrittenOnlyWhereTheyCanBeChosen) {
    const int32_t stored = 1 - DefaultFormats;
    WriteDwordValue(&stored, "formats");
    LoadSettings();
    EXPECT_EQ(g_settings.formats, stored);
    g_settings.formats = DefaultFormats;
    SaveSettings();
    LoadSettings();
#ifdef _WIN32
    EXPECT_EQ(g_settings.formats, stored);  // the settings dialog has no such choice
#else
    EXPECT_EQ(g_settings.formats, DefaultFormats);
#endif
}

TEST_F(SettingsTest, DeleteRemovesOnlyTheProgramsKey) {
    g_settings.delay = 42;
    std::strcpy(g_settings.path, "C:\\x");
    SaveSettings();
    DeleteSettings();

    StoreKey key;
    EXPECT_EQ(StoreOpenKey(SettingsKeyPath(), &key), StoreNotFound);
    ASSERT_EQ(StoreOpenKey("Software\\Screen Savers", &key), StoreOk);
    StoreCloseKey(key);

    LoadSettings();
    ExpectDefaults();
    DeleteSettings();  // deleting twice is harmless
    DeleteSettings();
}

TEST_F(SettingsTest, QueryReportsTheRoomItNeeds) {
    PutSetting("delay", StoreTypeQword, {1, 2, 3, 4, 5, 6, 7, 8});
    StoreKey key;
    ASSERT_EQ(StoreOpenKey(SettingsKeyPath(), &key), StoreOk);
    uint32_t type = 0;
    uint8_t data[4];
    uint32_t size = sizeof data;
    EXPECT_EQ(StoreQueryValue(key, "delay", &type, data, &size), StoreMoreData);
    EXPECT_EQ(size, 8u);
    StoreCloseKey(key);
}

}  // namespace
