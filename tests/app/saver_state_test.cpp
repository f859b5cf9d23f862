// The system's screen-saver options, read from the same store as the settings.

#include "app/saver_state.h"
#include "settings/store_fixture.h"

namespace {

class SystemOptionsTest : public StoreTest {};

SaverState Loaded() {
    SaverState state;
    state.passwordDelay = 1;
    state.mouseThreshold = 2;
    state.checkingPassword = 1;
    state.LoadSystemOptions();
    return state;
}

TEST_F(SystemOptionsTest, DefaultsWithoutTheKey) {
    const SaverState state = Loaded();
    EXPECT_EQ(state.passwordDelay, 15);
    EXPECT_EQ(state.mouseThreshold, 50);
    EXPECT_EQ(state.checkingPassword, 0);
    EXPECT_EQ(state.window, nullptr);
    EXPECT_EQ(state.closeRequested, 0);
}

TEST_F(SystemOptionsTest, FourBytesOfAnyTypeAreTaken) {
    Put(SystemKey, "Mouse Threshold", StoreTypeDword, {0, 0, 0, 0});
    Put(SystemKey, "Password Delay", StoreTypeBinary, {30, 0, 0, 0});
    SaverState state = Loaded();
    EXPECT_EQ(state.mouseThreshold, 0);
    EXPECT_EQ(state.passwordDelay, 30);

    Put(SystemKey, "Password Delay", StoreTypeSz, {'5', 0, 0, 0});
    state = Loaded();
    EXPECT_EQ(state.passwordDelay, 0x35);
}

TEST_F(SystemOptionsTest, ShortDataIsZeroFilledAndLongDataIgnored) {
    Put(SystemKey, "Mouse Threshold", StoreTypeBinary, {0x10, 0x01});
    Put(SystemKey, "Password Delay", StoreTypeQword, {1, 0, 0, 0, 0, 0, 0, 0});
    const SaverState state = Loaded();
    EXPECT_EQ(state.mouseThreshold, 0x110);
    EXPECT_EQ(state.passwordDelay, 15);
}

}  // namespace
