#include "test_util.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "qrimage.h"

namespace qrtest {

const std::string& ScratchDir() {
  // Never destroyed: the exit handler that removes the folder runs after
  // static objects created before it have already been destroyed.
  static const std::string& dir = *new std::string([] {
    std::string pattern = (std::filesystem::temp_directory_path() / "qrimage-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
      std::perror("mkdtemp");
      std::abort();
    }
    std::atexit([] { std::filesystem::remove_all(ScratchDir()); });
    return pattern;
  }());
  return dir;
}

std::string ScratchPath(const std::string& name) {
  static int counter = 0;
  return ScratchDir() + "/" + std::to_string(++counter) + "-" + name;
}

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool FileExists(const std::string& path) {
  return std::filesystem::exists(path);
}

void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

Bytes EncodeInFreshProcess(const std::string& text, char level) {
  const std::string path = ScratchPath("fresh.bmp");
  RunProgram({QRIMAGE_REFERENCE_BITMAP, std::string(1, level), path, text}, "/dev/null");
  return FileExists(path) ? ReadFile(path) : Bytes{};
}

void CallQRImageOnce() {
  QRImage("", 'L', ScratchPath("once.bmp").c_str());
}

bool HaveTool(const char* name) {
  const std::string command = std::string("command -v ") + name + " >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

const std::string& ImageMagick() {
  static const std::string name = HaveTool("magick")    ? "magick"
                                  : HaveTool("convert") ? "convert"
                                                        : "";
  return name;
}

std::string CommandOutput(const std::string& command) {
  FILE* pipe = popen(command.c_str(), "r");
  std::string out;
  char buffer[4096];
  for (size_t got; (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
    out.append(buffer, got);
  }
  pclose(pipe);
  return out;
}

std::string DecodeWithZbar(const std::string& image, int upscale) {
  const std::string zbar = "zbarimg --raw -q -Sbinary ";
  if (upscale <= 1) {
    return CommandOutput(zbar + "'" + image + "' 2>/dev/null");
  }
  return CommandOutput(ImageMagick() + " '" + image + "' -scale " + std::to_string(upscale * 100) +
                       "% pgm:- | " + zbar + "- 2>/dev/null");
}

std::string DecodeWithZxing(const std::string& image) {
  return CommandOutput("ZXingReader -format QRCode -bytes '" + image + "' 2>/dev/null");
}

std::string MixedText(int length, unsigned seed) {
  std::string text;
  unsigned x = seed * 2654435761u + 1;
  for (int i = 0; i < length; ++i) {
    x = x * 1103515245u + 12345u;
    const unsigned r = (x >> 16) & 0xFF;
    // Alternate between the printable range and the high half.
    text.push_back(static_cast<char>(r % 2 ? 0x20 + r % 95 : 0x80 + r % 128));
  }
  return text;
}

int OpenDescriptors() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++count;
  }
  return count;
}

std::uint32_t LittleEndian(const Bytes& bytes, std::size_t at, int size) {
  std::uint32_t v = 0;
  for (int i = size - 1; i >= 0; --i) {
    v = v << 8 | bytes[at + i];
  }
  return v;
}

Bitmap ReadBitmap(const Bytes& file) {
  auto le = [&](std::size_t at, int size) { return LittleEndian(file, at, size); };
  Bitmap bitmap;
  if (file.size() < 62 || file[0] != 'B' || file[1] != 'M' || le(28, 2) != 1 || le(30, 4) != 0) {
    return bitmap;
  }
  const std::size_t offset = le(10, 4);
  const int width = static_cast<int>(le(18, 4));
  const int height = static_cast<int>(le(22, 4));
  const std::size_t rowBytes = static_cast<std::size_t>(width + 31) / 32 * 4;
  if (width <= 0 || height <= 0 || width > 4096 || height > 4096 ||
      file.size() < offset + rowBytes * height) {
    return bitmap;
  }
  bitmap.width = width;
  bitmap.height = height;
  bitmap.white.resize(static_cast<std::size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* row = &file[offset + (height - 1 - y) * rowBytes];
    for (int x = 0; x < width; ++x) {
      bitmap.white[y * width + x] = (row[x / 8] >> (7 - x % 8)) & 1;
    }
  }
  return bitmap;
}

int RunInChild(const std::function<int()>& body, int seconds) {
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    _exit(body());
  }
  int status = 0;
  pid_t ended = 0;
  if (seconds == 0) {
    ended = waitpid(child, &status, 0);
  } else {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while ((ended = waitpid(child, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() < deadline) {
      usleep(1000);
    }
    if (ended != child) {
      kill(child, SIGKILL);
      waitpid(child, nullptr, 0);
      return -1;
    }
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1000 - WTERMSIG(status);
}

int RunProgram(const std::vector<std::string>& argv, const std::string& output,
               const std::vector<std::string>& env) {
  std::vector<char*> args, environment;
  for (const std::string& a : argv) {
    args.push_back(const_cast<char*>(a.c_str()));
  }
  for (const std::string& e : env) {
    environment.push_back(const_cast<char*>(e.c_str()));
  }
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::strncmp(*e, "GTEST_", 6) != 0) {
      environment.push_back(*e);
    }
  }
  args.push_back(nullptr);
  environment.push_back(nullptr);
  return RunInChild([&] {
    if (!output.empty()) {
      dup2(open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
    }
    execve(args[0], args.data(), environment.data());
    return 127;
  });
}

}  // namespace qrtest
