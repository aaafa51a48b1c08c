// Runs the 64-bit qrimage.dll under wine and compares it with this build.
//
//   wine_compare WINE64 WINE_HOST_EXE QRIMAGE_DLL
//
// Encodes a set of texts (versions 1, 2, 7, 10, 27 and 40 at every level,
// at the smallest and the largest length of each version, bytes 0x01 to
// 0xFF) with the Linux library, then has wine_host encode the same texts
// through the DLL in one wine run (a fresh wine prefix, so the run depends
// on nothing on this machine) and checks that every result and every file
// is the same, also when four threads call the DLL at once. wine_host's
// own checks of the Windows file operations must pass too.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "api/version_select.h"
#include "qrimage.h"
#include "test_util.h"

namespace {

namespace fs = std::filesystem;

struct Case {
  std::string name;
  int level;  // the int passed to QRImage
  std::string text;
  int version;  // the version the text is chosen to need
};

// Bytes a version holds at a level; version 0 holds nothing.
int CapacityOf(int version, int level) {
  return version == 0 ? 0 : qrimage::kByteCapacity[version - 1][level];
}

// Bytes 0x01..0xFF from a fixed generator; every text of 8 bytes or more
// has some of 0x80..0xFF.
std::string Text(int length, unsigned seed) {
  std::string text;
  unsigned x = seed * 2654435761u + 7;
  for (int i = 0; i < length; ++i) {
    x = x * 1103515245u + 12345u;
    const unsigned r = (x >> 12) & 0xFFFF;
    text.push_back(static_cast<char>(i % 3 == 0 ? 0x80 + r % 128 : 1 + r % 255));
  }
  return text;
}

std::vector<Case> MakeCases() {
  std::vector<Case> cases;
  int seed = 0;
  for (int version : {1, 2, 7, 10, 27, 40}) {
    for (int level = 0; level < 4; ++level) {
      const int lengths[] = {CapacityOf(version - 1, level) + 1, CapacityOf(version, level)};
      for (int length : lengths) {
        Case c;
        char name[32];
        const char letter = qrimage::kLevelLetters[level];
        std::snprintf(name, sizeof name, "v%d%c%d", version, letter, length);
        c.name = name;
        // Only the low byte of the level counts; version 10 cases fill the
        // upper bytes to show it on both sides.
        c.level = letter | (version == 10 ? 0x5A3C0000 : 0);
        c.text = Text(length, ++seed);
        c.version = version;
        cases.push_back(c);
      }
    }
  }
  return cases;
}

std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char b : bytes) {
    hex += kDigits[b >> 4];
    hex += kDigits[b & 15];
  }
  return hex;
}

// The same folder as wine sees it: drive Z: is the root of the file system.
std::string WindowsPath(const fs::path& path) {
  std::string windows = "Z:" + fs::absolute(path).string();
  for (char& c : windows) {
    if (c == '/') {
      c = '\\';
    }
  }
  return windows;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: wine_compare WINE64 WINE_HOST_EXE QRIMAGE_DLL\n";
    return 2;
  }
  const std::string wine = argv[1];
  const fs::path host = fs::absolute(argv[2]);
  const fs::path dll = fs::absolute(argv[3]);

  std::string pattern = (fs::temp_directory_path() / "qrimage-wine-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  const fs::path scratch = pattern;
  const fs::path linuxDir = scratch / "linux", windowsDir = scratch / "windows";
  fs::create_directories(linuxDir);
  fs::create_directories(windowsDir);

  int failures = 0;
  const std::vector<Case> cases = MakeCases();
  std::map<std::string, int> linuxResults;
  {
    std::ofstream list(scratch / "cases.txt");
    for (const Case& c : cases) {
      list << c.name << ' ' << std::hex << c.level << std::dec << ' ' << Hex(c.text) << '\n';
      const int result = QRImage(c.text.c_str(), c.level, (linuxDir / (c.name + ".bmp")).c_str());
      linuxResults[c.name] = result;
      if (result != c.version) {
        std::cout << "FAIL: " << c.name << ": the Linux build returns " << result
                  << ", expected version " << c.version << "\n";
        ++failures;
      }
    }
  }

  // One wine run for everything, in a prefix of its own.
  const std::vector<std::string> env = {"WINEPREFIX=" + (scratch / "prefix").string(),
                                        "WINEDEBUG=-all", "WINEDLLOVERRIDES=mscoree,mshtml="};
  const int status =
      qrtest::RunProgram({wine, host.string(), WindowsPath(dll), WindowsPath(scratch / "cases.txt"),
                          WindowsPath(windowsDir)},
                         scratch / "host.txt", env);
  // Stop this prefix's wine server now rather than after its idle delay.
  const fs::path wineserver = fs::path(wine).parent_path() / "wineserver";
  if (fs::exists(wineserver)) {
    qrtest::RunProgram({wineserver.string(), "-k"}, "", env);
  }

  const qrtest::Bytes hostBytes = qrtest::ReadFile(scratch / "host.txt");
  const std::string hostOutput(hostBytes.begin(), hostBytes.end());
  std::cout << "wine_host exited with " << status << ":\n" << hostOutput;
  if (status != 0) {
    ++failures;
  }
  std::map<std::string, int> windowsResults;
  // Result lines are "NAME RESULT"; the host's other lines do not parse so.
  std::istringstream lines(hostOutput);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::string name;
    int result;
    std::string rest;
    if (fields >> name >> result && !(fields >> rest)) {
      windowsResults[name] = result;
    }
  }

  // Each case was encoded twice by the DLL: once in order, once among
  // four threads calling at the same time.
  int identical = 0, compared = 0;
  for (const Case& c : cases) {
    const qrtest::Bytes linuxFile = qrtest::ReadFile(linuxDir / (c.name + ".bmp"));
    for (const bool threaded : {false, true}) {
      const std::string key = threaded ? c.name + "@threads" : c.name;
      const fs::path file = (threaded ? windowsDir / "threads" : windowsDir) / (c.name + ".bmp");
      ++compared;
      const auto found = windowsResults.find(key);
      if (found == windowsResults.end()) {
        std::cout << "FAIL: " << key << ": no result from the DLL\n";
        ++failures;
        continue;
      }
      if (found->second != linuxResults[c.name]) {
        std::cout << "FAIL: " << key << ": the DLL returns " << found->second
                  << ", the Linux build " << linuxResults[c.name] << "\n";
        ++failures;
      }
      const qrtest::Bytes windowsFile = qrtest::ReadFile(file);
      if (linuxFile.empty() || linuxFile != windowsFile) {
        std::cout << "FAIL: " << key << ": files differ (" << linuxFile.size()
                  << " bytes from Linux, " << windowsFile.size() << " from the DLL)\n";
        ++failures;
      } else {
        ++identical;
      }
    }
  }
  std::cout << identical << " of " << compared << " files byte-identical, " << failures
            << " failure(s)\n";

  if (std::getenv("QRIMAGE_KEEP_WINE_DIR") == nullptr) {
    std::error_code ignored;
    fs::remove_all(scratch, ignored);
  } else {
    std::cout << "kept " << scratch << "\n";
  }
  return failures == 0 ? 0 : 1;
}
