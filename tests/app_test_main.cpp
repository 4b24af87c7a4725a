// Test entry point for the window tests: offscreen, a private runtime
// folder, a private settings store, Qt's test mode for standard paths.
#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>
#include <QStandardPaths>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "AppTestSupport.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Test discovery runs without the test environment; it needs no window.
  if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();

  std::setlocale(LC_ALL, "");
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  std::string runtime = (std::filesystem::temp_directory_path() / "trawlix-xdg-XXXXXX").string();
  if (mkdtemp(runtime.data())) setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  // No test may touch the settings of the user running it: the store lives
  // below the private folder unless a test gives it a folder of its own.
  const std::string config = runtime + "/config";
  setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  // One screen of 1280 x 1024, larger than the window's design size (the
  // offscreen platform's own is 800 x 600), so the window tests see the
  // sizes a person on a common screen gets.
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (platform && std::string(platform) == "offscreen") {
    const std::string screens = runtime + "/screens.json";
    std::ofstream(screens) << R"({"screens": [{"name": "test", "x": 0, "y": 0, "width": 1280, "height": 1024,
                                  "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})";
    setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + screens).c_str(), 1);
  }
  QStandardPaths::setTestModeEnabled(true);

  QApplication app(argc, argv);
  trawlix::test::StoreFolder::DefaultRoot() = config;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(config));
  const int rc = RUN_ALL_TESTS();
  std::error_code ec;
  std::filesystem::remove_all(runtime, ec);
  return rc;
}
