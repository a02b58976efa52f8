// A private folder for one test, removed with everything in it.
#pragma once

#include <QDir>
#include <QTemporaryDir>
#include <fstream>
#include <iterator>
#include <string>

namespace glimmora::test {

class TempDir {
  public:
    std::string Path() const { return dir_.path().toStdString(); }
    std::string File(const std::string& name) const { return Path() + "/" + name; }
    QStringList Entries() const {
        return QDir(dir_.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries);
    }

  private:
    QTemporaryDir dir_;
};

inline void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

inline std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace glimmora::test
