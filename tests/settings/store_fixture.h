#pragma once
// Gives each test an empty store: a private config home natively, a deleted key under Wine.

#include <gtest/gtest.h>
#include <cstdint>
#include <string>
#include <vector>
#include "settings/registry_store.h"
#include "settings/settings.h"

#ifndef _WIN32
#include <stdlib.h>
#include <unistd.h>
#endif

class StoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
#ifndef _WIN32
        char pattern[] = "/tmp/fotovane-store.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        home_ = pattern;
        setenv("XDG_CONFIG_HOME", home_.c_str(), 1);
#endif
        StoreDeleteKey(SettingsKeyPath());
        StoreDeleteKey(SystemKey);
    }

    void TearDown() override {
        // The Wine prefix is shared by the whole test run: leave no values behind.
        StoreDeleteKey(SettingsKeyPath());
        StoreDeleteKey(SystemKey);
#ifndef _WIN32
        const std::string command = "chmod -R u+rwX '" + home_ + "'; rm -rf '" + home_ + "'";
        ASSERT_EQ(system(command.c_str()), 0);
#endif
    }

    static void Put(const char* path, const char* name, uint32_t type,
                    const std::vector<uint8_t>& data) {
        StoreKey key;
        ASSERT_EQ(StoreCreateKey(path, "", &key), StoreOk);
        ASSERT_EQ(StoreSetValue(key, name, type, data.data(), static_cast<uint32_t>(data.size())),
                  StoreOk);
        StoreCloseKey(key);
    }

    static void PutSetting(const char* name, uint32_t type, const std::vector<uint8_t>& data) {
        Put(SettingsKeyPath(), name, type, data);
    }

    static std::vector<uint8_t> Text(const std::string& text) {
        std::vector<uint8_t> bytes(text.begin(), text.end());
        bytes.push_back(0);
        return bytes;
    }

    static constexpr const char* SystemKey =
        "Software\\Microsoft\\Windows\\CurrentVersion\\Screen Savers";
    std::string home_;
};
