// main() of the widget and end-to-end tests: a QApplication on the
// offscreen platform, set up as the program sets itself up.

#include "AppSetup.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Each test program gets its own private temporary folder, so that test
    // programs running side by side do not hold each other's run lock.
    char temporary[] = "/tmp/battsim-ui-XXXXXX";
    if (mkdtemp(temporary)) {
        setenv("TMPDIR", temporary, 1);
        unsetenv("XDG_RUNTIME_DIR");
    }
    QApplication application(argc, argv);
    ConfigureApplication();
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    std::error_code ignored;
    std::filesystem::remove_all(temporary, ignored);
    return result;
}
