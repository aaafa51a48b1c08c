#include "write.h"

#include "report.h"

namespace qrtool {

int WriteText(std::string& text, const Job& job, const std::function<std::string(long)>& name,
              const FileId& input, Written& written, std::string& error) {
  const int status = Produce(text, job, written.result, error);
  if (status != kOk) {
    return status;
  }
  const std::vector<Picture>& pictures = written.result.pictures;
  std::vector<const std::string*> files;
  written.paths.clear();
  for (std::size_t i = 0; i < pictures.size(); ++i) {
    written.paths.push_back(name(static_cast<long>(i) + 1));
    files.push_back(&pictures[i].file);
  }
  return WriteFiles(written.paths, files, input, error) ? kOk : kCannotWrite;
}

}  // namespace qrtool
