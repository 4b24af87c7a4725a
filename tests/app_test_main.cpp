// Test entry point for the window tests: offscreen, a private runtime
// folder, Qt's test mode for standard paths, German Qt dialogs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QStandardPaths>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Test discovery runs without the test environment; it needs no window.
  if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();

  std::setlocale(LC_ALL, "");
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  std::string runtime = (std::filesystem::temp_directory_path() / "trawlix-xdg-XXXXXX").string();
  if (mkdtemp(runtime.data())) setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  QStandardPaths::setTestModeEnabled(true);

  QApplication app(argc, argv);
  const int rc = RUN_ALL_TESTS();
  std::error_code ec;
  std::filesystem::remove_all(runtime, ec);
  return rc;
}
