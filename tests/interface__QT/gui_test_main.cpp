#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>

#if defined(__SANITIZE_THREAD__)
// Qt's own worker threads (the raster engine paints large areas on a thread pool) synchronise
// through futexes ThreadSanitizer cannot see, so only races in instrumented code, ours, count.
extern "C" const char* __tsan_default_options() { return "ignore_noninstrumented_modules=1"; }
#endif

// Widgets need an application; the offscreen platform lets the tests run without a display.
int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
