// Runs qrimage.dll (32-bit under wine, 64-bit under wine64) and compares
// it with this build.
//
//   wine_compare WINE WINE_HOST_EXE QRIMAGE_DLL GOLDEN_PROGRAM
//
// Encodes a set of texts (versions 1, 2, 7, 10, 27 and 40 at every level,
// at the smallest and the largest length of each version, and the texts of
// the golden files, which hold every byte 0x01 to 0xFF, from
// GOLDEN_PROGRAM --texts)
// with the Linux library, then has wine_host encode the same texts through
// the DLL in one wine run (a fresh wine prefix, so the run depends on
// nothing on this machine) and checks that every result and every file is
// the same, also through ordinal 1 and when eight threads call the DLL at
// once. wine_host's own checks of the Windows file operations must pass
// too; for the one of a full disk, a 64 KB tmpfs is mounted (as root; left
// out with a note elsewhere). WINE is a command that runs a program under
// wine and then ends the prefix's wine server (wine_run.sh); wine_test.sh
// skips the test before this when wine is missing or cannot start here.
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "data/version_select.h"
#include "qrimage.h"
#include "test_util.h"

namespace {

namespace fs = std::filesystem;

struct Case {
  std::string name;
  int level;  // the int passed to QRImage
  std::string text;
  int version;  // the version the text is chosen to need, 0 if not chosen
};

// Bytes a version holds at a level; version 0 holds nothing.
int CapacityOf(int version, int level) {
  return version == 0 ? 0 : qrimage::kByteCapacity[version - 1][level];
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
        c.text = qrtest::MixedText(length, ++seed);
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

// The golden files' cases from `LETTER HEX` lines, named g1, g2, ...
void AddGoldenCases(const std::string& texts, std::vector<Case>& cases) {
  std::istringstream lines(texts);
  char letter;
  std::string hex;
  for (int n = 1; lines >> letter >> hex; ++n) {
    std::string text;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
      text.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    char name[16];
    std::snprintf(name, sizeof name, "g%d", n);
    cases.push_back({name, letter, text, 0});
  }
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

// A 64 KB tmpfs mounted at `dir` and filled up, holding orig.bmp (a few
// bytes) under a second name, link.bmp; false, with a note, where
// mounting is refused.
bool MountFullDisk(const fs::path& dir) {
  fs::create_directories(dir);
  if (mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=64k") != 0) {
    std::cout << "note: cannot mount a tmpfs (" << std::strerror(errno)
              << "; needs root): the full-disk check is left out\n";
    return false;
  }
  std::ofstream(dir / "orig.bmp") << "an older bitmap";
  fs::create_hard_link(dir / "orig.bmp", dir / "link.bmp");
  const int filler = open((dir / "filler").c_str(), O_WRONLY | O_CREAT, 0644);
  static const char kBlock[4096] = {};
  for (std::size_t size = sizeof kBlock; size > 0; size /= 2) {
    while (write(filler, kBlock, size) == static_cast<ssize_t>(size)) {
    }
  }
  close(filler);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::cerr << "usage: wine_compare WINE WINE_HOST_EXE QRIMAGE_DLL GOLDEN_PROGRAM\n";
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
  std::vector<Case> cases = MakeCases();
  if (qrtest::RunProgram({argv[4], "--texts"}, scratch / "golden.txt") != 0) {
    std::cout << "FAIL: " << argv[4] << " --texts did not run\n";
    ++failures;
  }
  const qrtest::Bytes golden = qrtest::ReadFile(scratch / "golden.txt");
  AddGoldenCases(std::string(golden.begin(), golden.end()), cases);
  std::map<std::string, int> linuxResults;
  {
    std::ofstream list(scratch / "cases.txt");
    for (const Case& c : cases) {
      list << c.name << ' ' << std::hex << c.level << std::dec << ' ' << Hex(c.text) << '\n';
      const int result = QRImage(c.text.c_str(), c.level, (linuxDir / (c.name + ".bmp")).c_str());
      linuxResults[c.name] = result;
      if (c.version != 0 ? result != c.version : result <= 0) {
        std::cout << "FAIL: " << c.name << ": the Linux build returns " << result
                  << ", expected version " << c.version << "\n";
        ++failures;
      }
    }
  }

  // One wine run for everything, in a prefix of its own.
  const fs::path fullDisk = scratch / "full";
  const bool mounted = MountFullDisk(fullDisk);
  const std::vector<std::string> env = {"WINEPREFIX=" + (scratch / "prefix").string(),
                                        "WINEDEBUG=-all", "WINEDLLOVERRIDES=mscoree,mshtml="};
  const int status =
      qrtest::RunProgram({wine, host.string(), WindowsPath(dll), WindowsPath(scratch / "cases.txt"),
                          WindowsPath(windowsDir), mounted ? WindowsPath(fullDisk) : "-"},
                         scratch / "host.txt", env);
  if (mounted) {
    umount2(fullDisk.c_str(), MNT_DETACH);
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

  // Each case was encoded by the DLL in order and again among eight
  // threads calling at the same time; the first case also through ordinal 1.
  int identical = 0, compared = 0;
  for (const Case& c : cases) {
    const qrtest::Bytes linuxFile = qrtest::ReadFile(linuxDir / (c.name + ".bmp"));
    for (const std::string variant : {"", "threads", "ordinal"}) {
      if (variant == "ordinal" && &c != &cases.front()) {
        continue;
      }
      const std::string key = variant.empty() ? c.name : c.name + "@" + variant;
      const fs::path file = windowsDir / variant / (c.name + ".bmp");
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
