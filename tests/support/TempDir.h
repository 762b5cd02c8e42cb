#pragma once

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace shardix::testing {

// A folder of its own for each test, removed with everything in it afterwards.
class TempDir {
  public:
    explicit TempDir(const std::filesystem::path& base = std::filesystem::temp_directory_path()) {
        std::string pattern = base / "shardix-test-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            std::abort();
        path_ = pattern;
    }
    ~TempDir() { std::filesystem::remove_all(path_, ec_); }
    TempDir(const TempDir&) = delete;

    // Path of `name` inside the folder; the folder itself ends with "/".
    std::string operator/(const std::string& name) const { return path_ / name; }
    std::string folder() const { return path_.string() + "/"; }

  private:
    std::filesystem::path path_;
    std::error_code ec_;
};

inline std::string randomBytes(std::size_t size, unsigned seed = 1) {
    std::mt19937 gen(seed);
    std::string bytes(size, '\0');
    std::generate(bytes.begin(), bytes.end(), [&] { return static_cast<char>(gen()); });
    return bytes;
}

inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// `size` bytes from `offset` on (all of the file by default).
inline std::string readFile(const std::string& path, std::streamoff offset = 0,
                            std::size_t size = std::string::npos) {
    std::ifstream in(path, std::ios::binary);
    in.seekg(offset);
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return bytes.substr(0, size);
}

using std::filesystem::exists;

} // namespace shardix::testing
