// The program's own globals and hidden window, in the test process.
#pragma once
#include <gtest/gtest.h>

// Puts every global of the program back to its state at process start.
void ResetProgramState();

// Loads the icons, creates the hidden main window and builds the menus, as
// start-up does before applying settings.
void SetUpMainWindow();

// Each test starts like a first start: no stored settings, the program's
// globals as at process start, the main window and menus built.
class ProgramTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};
